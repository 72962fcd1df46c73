#include "updates/ZKNoticeLint.h"

namespace cvl::ZKNoticeLint {

namespace {

constexpr const char* kUkSpellings[] = {"cancelled", "colour",    "behaviour", "centre",
                                        "licence",   "organise",  "recognise", "favourite",
                                        "analyse",   "catalogue", " grey",     "judgement",
                                        "travelled", "towards",   "programme", "customise"};

bool contains(const std::string& text, const char* needle) {
    return text.find(needle) != std::string::npos;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

std::vector<std::string> violations(const ZKNoticeContent& c) {
    std::vector<std::string> out;
    const std::string title = NoticeText::trim(c.title);
    const std::string body = NoticeText::trim(c.body);
    const std::string lowTitle = NoticeText::lower(title);
    const std::string lowBody = NoticeText::lower(body);
    const std::string both = lowTitle + "\n" + lowBody;

    if (title.empty()) out.push_back("empty title");
    if (size_t n = NoticeText::length(title); n > kTitleLimit)
        out.push_back("title over 38 characters (" + std::to_string(n) + "): it wraps");
    if (size_t n = NoticeText::length(body); n > kBodyLimit)
        out.push_back("body over 160 characters (" + std::to_string(n) +
                      "): the card becomes a letter");
    if (contains(both, "\u2014")) out.push_back("em dash");
    if (contains(both, "currently"))
        out.push_back("'currently' (the card shows the state; the sentence need not)");
    if (startsWith(lowBody, "type ") || startsWith(lowBody, "press "))
        out.push_back("body opens with an instruction to type (use keycaps)");
    if (contains(lowBody, ", like ") || contains(lowBody, "e.g."))
        out.push_back("hypothetical example in the body");
    // A leading space marks a word start; the start of the title and body count as one.
    const std::string spaced = " " + lowTitle + " " + lowBody;
    for (const char* word : kUkSpellings)
        if (contains(spaced, word)) out.push_back("UK spelling '" + NoticeText::trim(word) + "'");
    if (contains(both, "!")) out.push_back("exclamation mark");
    for (const auto& key : c.keys)
        if (size_t n = NoticeText::length(key); n > kKeycapLimit)
            out.push_back("keycap '" + key + "' is " + std::to_string(n) +
                          " characters: a keycap holds a key, not a phrase");
    return out;
}

}  // namespace cvl::ZKNoticeLint
