#include "operations/CvlSignedName.h"

#include "platform/FileIO.h"
#include "platform/Regex.h"

namespace cvl::CvlSignedName {

const std::vector<std::string>& markerWords() {
    // Taken from how people name the copies they send out for signature. Longer phrases come
    // first so that "not signed" is removed whole rather than leaving "not".
    static const std::vector<std::string> words{"draft for signatures",
                                                "draft for signature",
                                                "execution version",
                                                "execution copy",
                                                "signature version",
                                                "signature copy",
                                                "signature required",
                                                "signature needed",
                                                "needs signature",
                                                "awaiting signature",
                                                "pending signature",
                                                "ready for signature",
                                                "ready to sign",
                                                "for signatures",
                                                "for signature",
                                                "for signing",
                                                "for execution",
                                                "not yet signed",
                                                "not signed",
                                                "to be signed",
                                                "please sign",
                                                "sign here",
                                                "to sign",
                                                "unexecuted",
                                                "unsigned",
                                                "signed"};
    return words;
}

namespace {

std::string alternation() {
    std::string out;
    for (const auto& w : markerWords()) {
        if (!out.empty()) out += "|";
        for (char ch : w) out += ch == ' ' ? std::string("[\\s_-]+") : std::string(1, ch);
    }
    return out;
}

constexpr unsigned kFlags = Regex::kUnicode | Regex::kCaseless;

std::string trimmed(const std::string& s) {
    static const Regex edges("^[\\s\\-_\u2013]+|[\\s\\-_\u2013]+$", kFlags);
    return edges.replaceAll(s, "");
}

}  // namespace

std::string base(const std::string& name) {
    static const Regex extension("\\.(pdf|docx?|rtf|odt|txt|md|pages|png|jpe?g|tiff?)$", kFlags);
    static const Regex bracketed(
        "\\s*[-_\u2013]?\\s*[\\(\\[\\{]\\s*(?:" + alternation() + ")\\s*[\\)\\]\\}]", kFlags);
    static const Regex bare(
        "(?:\\s*[-_\u2013]\\s*|\\s+|^)(?:" + alternation() + ")(?=$|[^\\p{L}\\p{N}])", kFlags);
    static const Regex spaces("\\s{2,}", kFlags);
    static const Regex doubled("\\s*([-_\u2013])\\s*[-_\u2013]\\s*", kFlags);
    static const Regex company("\\b(Inc|Corp|Co|Ltd|Jr|Sr|L\\.P|P\\.C|L\\.L\\.C|N\\.A)\\.$",
                               kFlags);
    static const Regex trailingDots("\\.+$", kFlags);
    static const Regex alreadySigned("[\\(\\[]\\s*signed(\\s+\\d+)?\\s*[\\)\\]]$", kFlags);

    std::string s = extension.replaceAll(name, "");
    s = bracketed.replaceAll(s, "");
    s = bare.replaceAll(s, "");
    s = spaces.replaceAll(s, " ");
    s = doubled.replaceAll(s, " $1 ");
    s = trimmed(s);
    if (!company.search(s)) s = trimmed(trailingDots.replaceAll(s, ""));
    if (s.empty()) s = "Document";
    if (alreadySigned.search(s)) return s;
    return s + " (signed)";
}

std::string fileName(const std::string& name) {
    return base(name) + ".pdf";
}

std::string freePathIn(const std::string& folder, const std::string& name) {
    const std::string first = folder + "/" + fileName(name);
    if (!pathExists(first)) return first;
    static const Regex marker("\\s*[\\(\\[]\\s*signed(\\s+\\d+)?\\s*[\\)\\]]$", kFlags);
    const std::string stem = marker.replaceAll(base(name), "");
    for (int n = 2;; ++n) {
        std::string candidate = folder + "/" + stem + " (signed " + std::to_string(n) + ").pdf";
        if (!pathExists(candidate)) return candidate;
    }
}

}  // namespace cvl::CvlSignedName
