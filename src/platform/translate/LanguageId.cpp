#include "platform/translate/LanguageId.h"

#include <textcat.h>

#include <mutex>

#include "platform/Env.h"

namespace cvl::LanguageId {
namespace {

constexpr std::size_t kSampleChars = 4000;

// The classifier, made once; libexttextcat's handle is not safe for concurrent use.
struct Classifier {
    std::mutex m;
    void* handle = nullptr;
    Classifier() {
        std::string dir = envValue("CVL_TEXTCAT_DIR");
        if (dir.empty()) dir = "/usr/share/libexttextcat/";
        if (dir.back() != '/') dir += '/';
        handle = special_textcat_Init((dir + "fpdb.conf").c_str(), dir.c_str());
    }
    ~Classifier() {
        if (handle) textcat_Done(handle);
    }
};

Classifier& classifier() {
    static Classifier c;
    return c;
}

// The first `chars` code points, cut at a character boundary.
std::string_view head(std::string_view text, std::size_t chars) {
    std::size_t i = 0, n = 0;
    while (i < text.size() && n < chars) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
        ++n;
    }
    return text.substr(0, i);
}

}  // namespace

std::optional<std::string> detect(std::string_view text) {
    const std::string_view sample = head(text, kSampleChars);
    Classifier& c = classifier();
    std::lock_guard lock(c.m);
    if (!c.handle) return std::nullopt;
    const char* answer = textcat_Classify(c.handle, sample.data(), sample.size());
    // "[es--utf8][ca--utf8]" lists the candidates best first; "SHORT" or "UNKNOWN" otherwise.
    if (!answer || answer[0] != '[') return std::nullopt;
    std::string all(answer);
    std::string first = all.substr(1, all.find(']') - 1);
    first = first.substr(0, first.find('-'));
    if (first.empty()) return std::nullopt;
    return first;
}

}  // namespace cvl::LanguageId
