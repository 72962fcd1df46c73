#include "updates/CorvelloNotice.h"

#include <algorithm>
#include <mutex>
#include <set>

#include "platform/SysLog.h"
#include "updates/ZKNotice.h"

namespace cvl {

namespace CorvelloNotice {

namespace {

bool containsAny(const std::string& text, std::initializer_list<const char*> needles) {
    return std::any_of(needles.begin(), needles.end(),
                       [&](const char* n) { return text.find(n) != std::string::npos; });
}

std::mutex& presenterLock() {
    static std::mutex lock;
    return lock;
}
std::shared_ptr<ZKNotice>& presenterSlot() {
    static std::shared_ptr<ZKNotice> presenter;
    return presenter;
}

}  // namespace

ZKNoticeTone tone(std::string_view title) {
    const std::string t = NoticeText::lower(title);
    if (containsAny(t, {"couldn", "could not", "failed", "can't", "can\u2019t", "unavailable"}))
        return ZKNoticeTone::negative;
    if (containsAny(t, {"up to date", "archived", "unlocked"})) return ZKNoticeTone::positive;
    if (containsAny(t, {"first", "read-only", "takes pdfs"})) return ZKNoticeTone::caution;
    return ZKNoticeTone::neutral;
}

std::string bounded(std::string_view text, size_t limit) {
    std::string t = NoticeText::trim(text);
    if (NoticeText::length(t) <= limit) return t;
    if (limit == 0) return std::string();
    return NoticeText::prefix(t, limit - 1) + "\u2026";
}

ZKNoticeContent make(std::optional<std::string> id, std::string_view title, std::string_view body,
                     std::optional<ZKNoticeTone> tone) {
    ZKNoticeContent c;
    c.id = std::move(id);
    c.title = bounded(title, kTitleBound);
    c.body = bounded(body, kBodyBound);
    c.tone = tone ? *tone : CorvelloNotice::tone(c.title);
    return c;
}

void install(std::shared_ptr<ZKNotice> presenter) {
    std::lock_guard<std::mutex> hold(presenterLock());
    presenterSlot() = std::move(presenter);
}

void show(std::optional<std::string> id, std::string_view title, std::string_view body,
          std::optional<ZKNoticeTone> tone) {
    post(make(std::move(id), title, body, tone));
}

void post(ZKNoticeContent content) {
    std::shared_ptr<ZKNotice> presenter;
    {
        std::lock_guard<std::mutex> hold(presenterLock());
        presenter = presenterSlot();
    }
    if (presenter)
        presenter->post(std::move(content));
    else
        cvlLog("notice: %s", content.title.c_str());
}

}  // namespace CorvelloNotice

namespace CorvelloNoticeCopy {

namespace {

// `posted` is the id the notice is shown with (notices sharing it replace each other).
Entry item(const char* id, const char* posted, const char* title, const char* body) {
    return {id, CorvelloNotice::make(std::string(posted), title, body)};
}

std::set<std::string> words(const std::string& text) {
    std::set<std::string> out;
    std::string word;
    for (char ch : NoticeText::lower(text) + " ") {
        const bool letter = (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
                            static_cast<unsigned char>(ch) >= 0x80;
        if (letter)
            word += ch;
        else if (!word.empty())
            out.insert(word), word.clear();
    }
    return out;
}

}  // namespace

const std::vector<Entry>& catalogue() {
    static const std::vector<Entry> entries = {
        item("up-to-date", "update", "You're up to date", "v1.4.2 (142) is the latest build."),
        item("update-failed", "update", "Update failed", "code signature invalid"),
        item("feed-unreachable", "update", "Couldn't reach the update feed",
             "No update was applied. https://updates.corvello.app may be unreachable from this "
             "network; the app keeps working as-is."),
        item("already-checking", "update", "Already checking for updates",
             "A check started a moment ago is still running. If it finds a newer build, it will "
             "offer to install it."),
        item("no-versions", "versions", "No earlier versions yet",
             "There are no copies yet. Corvello keeps a copy whenever Lease.pdf changes while it "
             "is open."),
        item("restore-failed", "versions", "Could not restore that version",
             "The file could not be copied. The current version is unchanged."),
        item("library-missing", "update", "Can\u2019t open this library",
             "The folder \u201cContracts\u201d no longer exists at:\n/home/ana/Contracts"),
        item("history-missing", "history", "File History is unavailable",
             "The history page is missing from this build."),
        item("mcp-connect-failed", "mcp", "Couldn't connect to Claude Desktop",
             "The connector file could not be written."),
        item("mcp-disconnect-failed", "mcp", "Couldn't disconnect",
             "The connector entry could not be removed."),
        item("signed-copy-failed", "sign", "The signed copy could not be saved",
             "Corvello built the signed document but could not hand it back for saving, so "
             "nothing was written and your original is untouched. Your signature is still "
             "placed on the page.\n\nOpening this document in its own window and signing there "
             "will work. Please report this if it happens again."),
        item("signed-copy-unreadable", "sign", "Could not read the signed document.", ""),
    };
    return entries;
}

std::optional<ZKNoticeContent> entry(std::string_view id) {
    for (const auto& e : catalogue())
        if (e.id == id) return e.content;
    return std::nullopt;
}

const std::vector<Rule>& rules() {
    static const std::vector<Rule> list = {
        {"the title carries the message",
         [](const ZKNoticeContent& c) { return !NoticeText::trim(c.title).empty(); }},
        {"the body adds something the title does not say",
         [](const ZKNoticeContent& c) {
             auto body = words(c.body);
             if (body.empty()) return true;
             auto title = words(c.title);
             return std::any_of(body.begin(), body.end(),
                                [&](const std::string& w) { return !title.count(w); });
         }},
        {"a body under 12 characters with no keycaps says nothing",
         [](const ZKNoticeContent& c) {
             const size_t n = NoticeText::length(NoticeText::trim(c.body));
             return n == 0 || n >= 12 || !c.keys.empty();
         }},
        {"the tone matches the title",
         [](const ZKNoticeContent& c) { return c.tone == CorvelloNotice::tone(c.title); }},
        {"failures stay until dismissed",
         [](const ZKNoticeContent& c) { return c.tone != ZKNoticeTone::negative || c.isSticky(); }},
    };
    return list;
}

std::vector<std::string> broken(const ZKNoticeContent& content) {
    std::vector<std::string> names;
    for (const auto& rule : rules())
        if (!rule.holds(content)) names.push_back(rule.name);
    return names;
}

ZKNoticeContent decoy() {
    ZKNoticeContent c;
    c.id = "decoy";
    c.title = "Update failed";
    c.body = "Failed!";
    c.tone = ZKNoticeTone::positive;
    c.sticky = false;
    return c;
}

}  // namespace CorvelloNoticeCopy

}  // namespace cvl
