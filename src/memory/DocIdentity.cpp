#include "memory/DocIdentity.h"

#include <functional>

#include "memory/FileStamp.h"
#include "platform/ExtendedAttributes.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/RealPath.h"

namespace cvl {

std::string IdentityVerdict::summary() const {
    switch (kind) {
        case Kind::loading:
            return "loading (" + explanation + ")";
        case Kind::unknown:
            return "unknown (" + explanation + ")";
        case Kind::ready:
            return "ready";
        case Kind::mismatch: {
            std::string out = "MISMATCH: ";
            for (size_t i = 0; i < reasons.size(); ++i) out += (i ? ", " : "") + reasons[i];
            return out;
        }
    }
    return "unknown";
}

namespace DocIdentity {
namespace {

std::string name(const std::string& p) {
    return lastPathComponent(p);
}

// The label is the expected title, or the expected title followed by " · " and a decoration.
bool labelMatches(const std::string& label, const std::string& expected) {
    return label == expected || label.rfind(expected + " \u00b7 ", 0) == 0;
}

IdentityVerdict loading(std::string why) {
    return {IdentityVerdict::Kind::loading, std::move(why), {}};
}
IdentityVerdict mismatch(std::vector<std::string> reasons) {
    return {IdentityVerdict::Kind::mismatch, {}, std::move(reasons)};
}

}  // namespace

std::string norm(const std::string& path) {
    if (path.empty()) return "";
    std::string p = standardizePath(path);
    if (auto real = resolvedPath(p)) p = std::move(*real);
    for (const char* prefix : {"/private/tmp/", "/private/var/", "/private/etc/"}) {
        std::string pre = prefix;
        if (p.rfind(pre, 0) == 0) {
            p = p.substr(8);  // drop "/private"
            break;
        }
    }
    return p;
}

bool samePath(const std::string& a, const std::string& b) {
    return norm(a) == norm(b);
}

IdentityVerdict verdict(const std::optional<std::string>& selected,
                        const std::optional<DocBinding>& binding,
                        const std::optional<DocDisplayed>& displayed,
                        const std::optional<std::string>& title,
                        const std::optional<std::string>& drawnLabel,
                        const std::optional<std::string>& represented) {
    if (!selected || selected->empty()) return {IdentityVerdict::Kind::unknown, "no document", {}};
    if (!binding)
        return {IdentityVerdict::Kind::unknown,
                "no binding: this reader was loaded outside loadReader",
                {}};
    const std::string& sel = *selected;
    const DocBinding& b = *binding;
    std::vector<std::string> reasons;
    if (!samePath(sel, b.selected))
        reasons.push_back("the window now holds " + name(sel) + " but its page was loaded for " +
                          name(b.selected));
    if (title && !labelMatches(*title, b.expectedTitle))
        reasons.push_back("the window is titled " + *title + " but holds " + b.expectedTitle);
    if (drawnLabel && !labelMatches(*drawnLabel, b.expectedTitle))
        reasons.push_back("the tab is labeled " + *drawnLabel + " but holds " + b.expectedTitle);
    if (represented && !represented->empty() && !samePath(*represented, sel))
        reasons.push_back("the titlebar file is " + name(*represented) + " but the window holds " +
                          name(sel));

    if (!displayed) {
        if (reasons.empty()) return loading("the page has not confirmed what it shows yet");
        return mismatch(std::move(reasons));
    }
    const DocDisplayed& d = *displayed;
    if (d.gen < b.gen) {
        if (reasons.empty())
            return loading("the page is still on load " + std::to_string(d.gen) +
                           ", the window is on load " + std::to_string(b.gen));
        return mismatch(std::move(reasons));
    }
    if (d.gen > b.gen)
        reasons.push_back("the page reports load " + std::to_string(d.gen) +
                          ", newer than the window's " + std::to_string(b.gen));
    if (!samePath(d.pdf, b.expectedPdf))
        reasons.push_back("the page shows " + name(d.pdf) + " but was told to show " +
                          name(b.expectedPdf));
    if (!d.orig.empty() && !samePath(d.orig, b.selected))
        reasons.push_back("the page stands for " + name(d.orig) + " but the window holds " +
                          name(b.selected));
    if (reasons.empty()) return {IdentityVerdict::Kind::ready, {}, {}};
    return mismatch(std::move(reasons));
}

std::string logLine(int windowNumber, const IdentityVerdict& verdict, const std::string& place,
                    const std::vector<std::string>& recentNotes) {
    std::string line = "identity: window " + std::to_string(windowNumber) + " " +
                       verdict.summary() + " at " + place;
    if (!recentNotes.empty()) {
        line += "; recent:";
        for (size_t i = 0; i < recentNotes.size(); ++i) line += (i ? " | " : " ") + recentNotes[i];
    }
    return line;
}

namespace {

struct Inputs {
    std::optional<std::string> selected;
    std::optional<DocBinding> binding;
    std::optional<DocDisplayed> displayed;
    std::optional<std::string> title;
    std::optional<std::string> drawnLabel;
    std::optional<std::string> represented;
};

struct ReferenceCase {
    const char* name;
    IdentityVerdict::Kind want;
    std::function<void(Inputs&)> change;  // applied to a consistent, confirmed reader
};

const char* kindName(IdentityVerdict::Kind k) {
    switch (k) {
        case IdentityVerdict::Kind::loading:
            return "loading";
        case IdentityVerdict::Kind::mismatch:
            return "mismatch";
        case IdentityVerdict::Kind::unknown:
            return "unknown";
        case IdentityVerdict::Kind::ready:
            return "ready";
    }
    return "?";
}

// A reader on load 3 of /Users/ana/Contracts/lease.pdf that shows exactly that.
Inputs consistentReader() {
    const std::string lease = "/Users/ana/Contracts/lease.pdf";
    Inputs in;
    in.selected = lease;
    in.binding = DocBinding{3, lease, lease, "lease.pdf"};
    in.displayed = DocDisplayed{3, lease, ""};
    in.title = "lease.pdf";
    in.drawnLabel = "lease.pdf";
    in.represented = lease;
    return in;
}

std::vector<ReferenceCase> referenceCases() {
    using K = IdentityVerdict::Kind;
    const std::string offer = "/Users/ana/Contracts/offer.pdf";
    return {
        {"plain PDF, page confirmed", K::ready, [](Inputs&) {}},
        {"no tab bar (nothing drawn)", K::ready, [](Inputs& in) { in.drawnLabel.reset(); }},
        {"the same file named through /tmp and /private/tmp", K::ready,
         [](Inputs& in) {
             in.selected = "/tmp/cvl-identity/scan.pdf";
             in.binding = DocBinding{3, "/private/tmp/cvl-identity/scan.pdf",
                                     "/private/tmp/cvl-identity/scan.pdf", "scan.pdf"};
             in.displayed = DocDisplayed{3, "/tmp/cvl-identity/scan.pdf", ""};
             in.title = in.drawnLabel = "scan.pdf";
             in.represented = "/private/tmp/cvl-identity/scan.pdf";
         }},
        {"converted Office document", K::ready,
         [](Inputs& in) {
             const std::string docx = "/Users/ana/Contracts/memo.docx";
             const std::string pdf = "/Users/ana/Library/Caches/Corvello/converted/memo.pdf";
             in.selected = docx;
             in.binding = DocBinding{3, docx, pdf, "memo.docx"};
             in.displayed = DocDisplayed{3, pdf, docx};
             in.title = in.drawnLabel = "memo.docx";
             in.represented = docx;
         }},
        {"document given a new name, rebound, page confirmed", K::ready,
         [](Inputs& in) {
             const std::string renamed = "/Users/ana/Contracts/lease-signed.pdf";
             in.selected = renamed;
             in.binding = DocBinding{4, renamed, renamed, "lease-signed.pdf"};
             in.displayed = DocDisplayed{4, renamed, ""};
             in.title = in.drawnLabel = "lease-signed.pdf";
             in.represented = renamed;
         }},
        {"title decorated after the expected title", K::ready,
         [](Inputs& in) { in.title = "lease.pdf \u00b7 signing 2 of 5"; }},
        {"decorated title naming another document", K::mismatch,
         [](Inputs& in) { in.title = "offer.pdf \u00b7 signing 2 of 5"; }},
        {"tab names document A, page shows document B", K::mismatch,
         [offer](Inputs& in) { in.displayed->pdf = offer; }},
        {"drawn label swapped with a neighbour's", K::mismatch,
         [](Inputs& in) { in.drawnLabel = "offer.pdf"; }},
        {"title and label agree but name the wrong document", K::mismatch,
         [](Inputs& in) { in.title = in.drawnLabel = "offer.pdf"; }},
        {"document changed without a reload", K::mismatch,
         [offer](Inputs& in) {
             in.selected = offer;
             in.represented = offer;
         }},
        {"titlebar file points elsewhere", K::mismatch,
         [offer](Inputs& in) { in.represented = offer; }},
        {"page confirms a load it was never given", K::mismatch,
         [](Inputs& in) { in.displayed->gen = 4; }},
        {"stale confirmation from the previous load", K::loading,
         [](Inputs& in) { in.displayed->gen = 2; }},
        {"page has not confirmed yet", K::loading, [](Inputs& in) { in.displayed.reset(); }},
        {"no binding at all", K::unknown, [](Inputs& in) { in.binding.reset(); }},
    };
}

}  // namespace

int selftest(std::FILE* out) {
    int failures = 0;
    for (const auto& c : referenceCases()) {
        Inputs in = consistentReader();
        c.change(in);
        IdentityVerdict v =
            verdict(in.selected, in.binding, in.displayed, in.title, in.drawnLabel, in.represented);
        bool pass = v.kind == c.want;
        if (!pass) ++failures;
        std::fprintf(out, "%s  %s: %s%s%s%s\n", pass ? "PASS" : "FAIL", c.name, v.summary().c_str(),
                     pass ? "" : "  (want ", pass ? "" : kindName(c.want), pass ? "" : ")");
    }
    return failures ? 1 : 0;
}

}  // namespace DocIdentity

namespace CvlDocIdentity {
namespace {

// Decodes UTF-8, replacing each invalid byte with U+FFFD.
std::string repairUtf8(const std::string& s) {
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80           ? 1
                     : (c >> 5) == 0x6  ? 2
                     : (c >> 4) == 0xE  ? 3
                     : (c >> 3) == 0x1E ? 4
                                        : 0;
        bool ok = len > 0 && i + len <= s.size();
        for (size_t k = 1; ok && k < len; ++k)
            ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        if (ok && len == 2 && c < 0xC2) ok = false;  // overlong
        if (ok) {
            out.append(s, i, len);
            i += len;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

size_t codePoints(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string lowerCase(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

std::optional<std::string> read(const std::string& path) {
    if (path.empty()) return std::nullopt;
    auto raw = getExtendedAttribute(path, kAttributeName);
    if (!raw) return std::nullopt;
    return repairUtf8(*raw);
}

std::optional<std::string> ensure(const std::string& path) {
    if (path.empty() || !pathExists(path)) return std::nullopt;
    if (auto existing = read(path); existing && codePoints(*existing) > 7) return existing;
    std::string id = lowerCase(newUuid());
    if (!setExtendedAttribute(path, kAttributeName, id)) return std::nullopt;
    return id;
}

}  // namespace CvlDocIdentity

}  // namespace cvl
