// libFuzzer target: finding a query in index rows and grouping the rows into documents, as a
// search does with the text the index holds (which need not be valid UTF-8 when the index file
// was damaged or written by something else) and with a query typed or passed on a command line.
// Input: byte 0 picks the mode and the per-document limit, then the query up to the first zero
// byte, then rows separated by byte 1. Any crash, sanitizer report or hang is a fault, and so
// is an exact match that is not text of its row.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "search/SearchMatching.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace cvl;
    if (size < 2) return 0;
    const std::string_view input = fuzz::bytesOf(data, size);
    const bool fuzzy = (data[0] & 1) != 0;
    const int hitsPerDoc = 1 + (data[0] >> 1) % 8;
    std::string_view rest = input.substr(1);
    const std::size_t zero = rest.find('\0');
    const std::string_view query = rest.substr(0, zero);
    rest = zero == std::string_view::npos ? std::string_view() : rest.substr(zero + 1);

    std::vector<std::string_view> rows;
    for (std::size_t at = 0; at <= rest.size() && rows.size() < 64;) {
        const std::size_t end = std::min(rest.find('\1', at), rest.size());
        rows.push_back(rest.substr(at, end - at));
        at = end + 1;
    }

    for (const auto& body : rows) {
        for (const auto& hit : SearchMatching::exactLocate(body, query, hitsPerDoc))
            if (body.find(hit.match) == std::string_view::npos) __builtin_trap();
        (void)SearchMatching::fuzzyLocate(body, query, SearchMatching::trigrams(query));
    }
    SearchMatching::Grouper grouper(query, fuzzy, 3, hitsPerDoc);
    int n = 0;
    for (const auto& body : rows) {
        const std::string path = "/docs/d" + std::to_string(n++ % 5) + ".txt";
        grouper.add(path, "line", "L1", 0, body);
    }
    for (const auto& doc : grouper.finish())
        if (doc.hits.size() > static_cast<std::size_t>(hitsPerDoc)) __builtin_trap();
    return 0;
}
