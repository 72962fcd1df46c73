// Shorthands for reading commands in the grammar tests.
#pragma once

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "pagecmd/PageCommandParser.h"

namespace cvl::test {

inline PageCommandParse read(const std::string& text, int pages = 10, int current = 1,
                             std::vector<int> selection = {}) {
    return PageCommandParser::parse(text, pages, current, selection);
}

inline std::vector<int> range(int first, int last) {
    std::vector<int> v;
    for (int p = first; p <= last; ++p) v.push_back(p);
    return v;
}

// What a reading came out as, for failure messages.
inline std::string got(const PageCommandParse& r) {
    return std::string(kindName(r.kind)) + " \"" +
           (r.kind == PageCommandParse::Kind::command ? r.command.phrase() : r.message) + "\"";
}

inline ::testing::AssertionResult isCommand(const PageCommandParse& r, const PageCommand& want) {
    if (r.kind == PageCommandParse::Kind::command && r.command == want)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "wanted command \"" << want.phrase() << "\", got " << got(r);
}

inline ::testing::AssertionResult isClarify(const PageCommandParse& r, const std::string& message,
                                            const std::vector<std::string>& options) {
    if (r.kind == PageCommandParse::Kind::clarify && r.message == message && r.options == options)
        return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    failure << "wanted clarify \"" << message << "\", got " << got(r) << " with options [";
    for (const auto& o : r.options) failure << "\"" << o << "\" ";
    return failure << "]";
}

inline ::testing::AssertionResult isRefuse(const PageCommandParse& r, const std::string& message) {
    if (r.kind == PageCommandParse::Kind::refuse && r.message == message)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "wanted refuse \"" << message << "\", got " << got(r);
}

inline ::testing::AssertionResult isKind(const PageCommandParse& r, PageCommandParse::Kind kind) {
    if (r.kind == kind) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "wanted " << kindName(kind) << ", got " << got(r);
}

}  // namespace cvl::test
