// Document identity: a pure decision whether a reader window shows the document it means to
// show, from the window's current document, the binding of its last load, the page's
// confirmation and the three visible labels.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace cvl {

// Set by the window each time it loads a reader page.
struct DocBinding {
    std::int64_t gen = 0;       // load generation
    std::string selected;       // the document the window showed when it started the load
    std::string expectedPdf;    // the PDF the page was told to display
    std::string expectedTitle;  // the title the window should carry for this load
};

// Reported by the page after it rendered a load.
struct DocDisplayed {
    std::int64_t gen = 0;
    std::string pdf;   // the PDF the page shows
    std::string orig;  // the document it stands for (source of a converted file); may be empty
};

struct IdentityVerdict {
    enum class Kind { loading, mismatch, unknown, ready };
    Kind kind = Kind::unknown;
    std::string explanation;           // loading and unknown
    std::vector<std::string> reasons;  // mismatch

    bool isReady() const { return kind == Kind::ready; }
    std::string summary() const;
};

namespace DocIdentity {

// Expands "~", standardises, resolves symbolic links when the path exists and maps the
// /private/{tmp,var,etc}/ prefixes to their short forms. Empty stays empty.
std::string norm(const std::string& path);
bool samePath(const std::string& a, const std::string& b);

IdentityVerdict verdict(const std::optional<std::string>& selected,
                        const std::optional<DocBinding>& binding,
                        const std::optional<DocDisplayed>& displayed,
                        const std::optional<std::string>& title,
                        const std::optional<std::string>& drawnLabel,
                        const std::optional<std::string>& represented);

// The reader log line of a verdict that is not ready: "identity: window 3 <summary> at <place>"
// followed by the window's recent identity notes, when it has any.
std::string logLine(int windowNumber, const IdentityVerdict& verdict, const std::string& place,
                    const std::vector<std::string>& recentNotes);

// Runs the reference cases, printing "PASS  <case>: <summary>" or "FAIL  ..." per case.
// 0 when every case gives its expected verdict, 1 otherwise.
int selftest(std::FILE* out = stdout);

}  // namespace DocIdentity

// The persistent identifier of a file, a lower-case UUID in the extended attribute
// "user.app.orrindel.corvello.docid".
namespace CvlDocIdentity {

inline constexpr const char* kAttributeName = "user.app.orrindel.corvello.docid";

// The stored identifier, creating one when missing; none for an empty path, a missing file
// or a file system that refuses extended attributes.
std::optional<std::string> ensure(const std::string& path);
std::optional<std::string> read(const std::string& path);

}  // namespace CvlDocIdentity

}  // namespace cvl
