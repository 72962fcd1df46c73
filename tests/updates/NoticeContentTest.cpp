// Notice content, tone, bounding, lint, the catalogue's rules and the built-in self-tests.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/SysLog.h"
#include "updates/CorvelloNotice.h"
#include "updates/CvlLiveWork.h"
#include "updates/NoticeSelftest.h"
#include "updates/ZKNoticeContent.h"
#include "updates/ZKNoticeLint.h"

namespace cvl {
namespace {

ZKNoticeContent titled(std::string title, std::string body = "") {
    ZKNoticeContent c;
    c.title = std::move(title);
    c.body = std::move(body);
    return c;
}

// One title per tone (the word lists themselves are data), the typographic apostrophe and
// letter case.
TEST(NoticeTone, WordsOfTheTitleDecideFirstMatchWins) {
    using CorvelloNotice::tone;
    EXPECT_EQ(tone("You can\u2019t sign this page"), ZKNoticeTone::negative);
    EXPECT_EQ(tone("OCR FAILED"), ZKNoticeTone::negative);
    EXPECT_EQ(tone("You're up to date"), ZKNoticeTone::positive);
    EXPECT_EQ(tone("Compare takes PDFs"), ZKNoticeTone::caution);
    // A failure outranks good news in the same title.
    EXPECT_EQ(tone("Archived copy could not be written"), ZKNoticeTone::negative);
    EXPECT_EQ(tone("Saved a copy"), ZKNoticeTone::neutral);
    EXPECT_EQ(toneFromRawValue(toneRawValue(ZKNoticeTone::caution)), ZKNoticeTone::caution);
    EXPECT_EQ(toneFromRawValue("urgent"), ZKNoticeTone::neutral);
}

TEST(NoticeContent, StickinessAndDwell) {
    ZKNoticeContent c = titled("Update failed");
    c.tone = ZKNoticeTone::negative;
    EXPECT_TRUE(c.isSticky());
    c.sticky = false;
    EXPECT_FALSE(c.isSticky());
    c.tone = ZKNoticeTone::positive;
    c.sticky.reset();
    EXPECT_FALSE(c.isSticky());
    c.sticky = true;
    EXPECT_TRUE(c.isSticky());
    EXPECT_DOUBLE_EQ(c.dwellSeconds(), 6.5);
    c.dwell = 3;
    EXPECT_DOUBLE_EQ(c.dwellSeconds(), 3);
}

TEST(Bounded, TrimsAndShortensByCharacters) {
    using CorvelloNotice::bounded;
    std::string text(900, 'x');
    EXPECT_EQ(bounded(text, 900), text);
    EXPECT_EQ(bounded(text + "y", 900), std::string(899, 'x') + "\u2026");
    EXPECT_EQ(bounded("\n  Saved \t\n", 5), "Saved");
    // Multi-byte characters count once and are never cut in half.
    EXPECT_EQ(bounded("\u00e9\u00e9\u00e9\u00e9", 3), "\u00e9\u00e9\u2026");
    EXPECT_EQ(bounded("\u00e9\u00e9\u00e9", 3), "\u00e9\u00e9\u00e9");

    auto c = CorvelloNotice::make("mcp", "  Couldn't disconnect ", std::string(1000, 'b'));
    EXPECT_EQ(c.title, "Couldn't disconnect");
    EXPECT_EQ(NoticeText::length(c.body), CorvelloNotice::kBodyBound);
    EXPECT_EQ(c.tone, ZKNoticeTone::negative);
    EXPECT_EQ(c.id, "mcp");
    EXPECT_EQ(CorvelloNotice::make(std::nullopt, "Couldn't", "", ZKNoticeTone::caution).tone,
              ZKNoticeTone::caution);
}

TEST(FromQuery, BoundsEveryField) {
    std::map<std::string, std::string> q = {{"title", std::string(81, 't')},
                                            {"body", std::string(500, 'b')},
                                            {"keys", "Ctrl|Shift||" + std::string(25, 'k')},
                                            {"note", std::string(61, 'n')},
                                            {"tone", "negative"},
                                            {"dwell", "100"},
                                            {"id", std::string(70, 'i')}};
    auto c = noticeFromQuery(q);
    EXPECT_EQ(c.title.size(), 80u);
    EXPECT_EQ(c.body.size(), 240u);
    ASSERT_EQ(c.keys.size(), 3u);
    EXPECT_EQ(c.keys[0], "Ctrl");
    EXPECT_EQ(c.keys[2].size(), 24u);
    EXPECT_EQ(c.keysNote.size(), 60u);
    EXPECT_EQ(c.tone, ZKNoticeTone::negative);
    EXPECT_EQ(c.dwell, 30.0);
    EXPECT_EQ(c.id->size(), 64u);

    q["dwell"] = "0.5";
    EXPECT_EQ(noticeFromQuery(q).dwell, 2.0);
    q["dwell"] = "soon";
    EXPECT_FALSE(noticeFromQuery(q).dwell);
    q["title"] = std::string(100, 'a') + "\u00e9";
    EXPECT_EQ(noticeFromQuery(q).title, std::string(80, 'a'));
    q["title"] = std::string(79, 'a') + "\u00e9\u00e9";  // cut after a whole character
    EXPECT_EQ(noticeFromQuery(q).title, std::string(79, 'a') + "\u00e9");

    auto empty = noticeFromQuery({});
    EXPECT_TRUE(empty.title.empty());
    EXPECT_FALSE(empty.id);
    EXPECT_FALSE(empty.dwell);
    EXPECT_EQ(empty.tone, ZKNoticeTone::neutral);
}

TEST(NoticeLint, EveryRuleNamesItsViolation) {
    auto lint = [](ZKNoticeContent c) { return ZKNoticeLint::violations(c); };
    using V = std::vector<std::string>;
    EXPECT_EQ(lint(titled(" \n ")), V{"empty title"});
    EXPECT_EQ(lint(titled(std::string(38, 'a'))), V{});
    EXPECT_EQ(lint(titled(std::string(39, 'a'))), V{"title over 38 characters (39): it wraps"});
    EXPECT_EQ(lint(titled("Fine", std::string(160, 'b'))), V{});
    EXPECT_EQ(lint(titled("Fine", std::string(161, 'b'))),
              V{"body over 160 characters (161): the card becomes a letter"});
    EXPECT_EQ(lint(titled("Saved \u2014 done")), V{"em dash"});
    EXPECT_EQ(lint(titled("Fine", "It is Currently syncing.")),
              V{"'currently' (the card shows the state; the sentence need not)"});
    EXPECT_EQ(lint(titled("Fine", "Type a name to continue.")),
              V{"body opens with an instruction to type (use keycaps)"});
    EXPECT_EQ(lint(titled("Fine", "press Return.")),
              V{"body opens with an instruction to type (use keycaps)"});
    EXPECT_EQ(lint(titled("Fine", "Pick a format, like PDF.")),
              V{"hypothetical example in the body"});
    EXPECT_EQ(lint(titled("Fine", "Pick a format (e.g. PDF).")),
              V{"hypothetical example in the body"});
    EXPECT_EQ(lint(titled("Fine", "Run cancelled by you.")), V{"UK spelling 'cancelled'"});
    EXPECT_EQ(lint(titled("Grey pages skipped")), V{"UK spelling 'grey'"});
    EXPECT_EQ(lint(titled("Fine", "Pages turned grey.")), V{"UK spelling 'grey'"});
    EXPECT_EQ(lint(titled("Fine", "Ink on greyscale scans.")), V{"UK spelling 'grey'"});
    EXPECT_EQ(lint(titled("Fine", "Stored in the underground.")), V{});  // "grey" mid-word
    EXPECT_EQ(lint(titled("Organise this folder")), V{"UK spelling 'organise'"});
    EXPECT_EQ(lint(titled("Done!")), V{"exclamation mark"});
    ZKNoticeContent keys = titled("Shortcut");
    keys.keys = {"Ctrl", std::string(18, 'k'), std::string(19, 'k')};
    auto v = lint(keys);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].rfind("keycap '" + std::string(19, 'k') + "'", 0), 0u);
    // Several problems are all reported.
    EXPECT_EQ(lint(titled("Colour saved!", "Currently \u2014 fine")).size(), 4u);
}

TEST(NoticeCopy, CatalogueKeepsTheRulesAndTheDecoyBreaksThem) {
    for (const char* id : {"up-to-date", "update-failed", "no-versions", "restore-failed"})
        EXPECT_TRUE(CorvelloNoticeCopy::entry(id)) << id;
    EXPECT_FALSE(CorvelloNoticeCopy::entry("no-such-notice"));
    EXPECT_EQ(CorvelloNoticeCopy::entry("up-to-date")->tone, ZKNoticeTone::positive);
    EXPECT_TRUE(CorvelloNoticeCopy::entry("restore-failed")->isSticky());
    for (const auto& e : CorvelloNoticeCopy::catalogue())
        EXPECT_TRUE(CorvelloNoticeCopy::broken(e.content).empty()) << e.id;

    auto decoy = CorvelloNoticeCopy::broken(CorvelloNoticeCopy::decoy());
    auto has = [&](const char* name) {
        return std::find(decoy.begin(), decoy.end(), name) != decoy.end();
    };
    EXPECT_TRUE(has("a body under 12 characters with no keycaps says nothing"));
    EXPECT_TRUE(has("the body adds something the title does not say"));
    EXPECT_TRUE(has("the tone matches the title"));

    // A short body is fine when keycaps carry the message.
    ZKNoticeContent shortcut = CorvelloNotice::make("keys", "Search this folder", "Or press");
    EXPECT_FALSE(CorvelloNoticeCopy::broken(shortcut).empty());
    shortcut.keys = {"Ctrl", "F"};
    EXPECT_TRUE(CorvelloNoticeCopy::broken(shortcut).empty());
}

TEST(LiveWork, PolicyAndRecord) {
    using CvlLiveWorkPolicy::holdReason;
    EXPECT_FALSE(holdReason(0, 0));
    EXPECT_EQ(holdReason(1, 0), "a document has unsaved edits");
    EXPECT_EQ(holdReason(4, 0), "4 documents have unsaved edits");
    EXPECT_EQ(holdReason(0, 1), "signed copies are being written");
    EXPECT_EQ(holdReason(9, 3), "3 signed-copy runs are being written");

    std::vector<std::string> lines;
    setLogSink([&](const std::string& line) { lines.push_back(line); });
    CvlLiveWork work;
    int a = 0, b = 0;
    auto hook = work.updaterHook();
    EXPECT_FALSE(hook());
    work.noteEditorDirty(&a, true);
    work.noteSigningRun(&b, true);
    EXPECT_TRUE(hook());
    work.forget(&b);
    EXPECT_EQ(work.holdReason(), "a document has unsaved edits");
    work.noteEditorDirty(&a, false);
    EXPECT_FALSE(work.holdReason());
    setLogSink(nullptr);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("[ZKUpdate] live work: none"), std::string::npos);
    EXPECT_NE(lines[1].find("[ZKUpdate] live work: signed copies are being written"),
              std::string::npos);
}

// The application's record counts work for exactly as long as its mark lives.
TEST(LiveWork, MarksHoldTheSharedRecordWhileTheyLive) {
    CvlLiveWork& shared = CvlLiveWork::shared();
    ASSERT_FALSE(shared.holdReason());
    {
        LiveWorkMark edits(LiveWorkMark::Kind::UnsavedEdits);
        EXPECT_EQ(shared.holdReason(), "a document has unsaved edits");
        {
            LiveWorkMark run(LiveWorkMark::Kind::SigningRun);
            EXPECT_EQ(shared.holdReason(), "signed copies are being written");
        }
        EXPECT_EQ(shared.holdReason(), "a document has unsaved edits");
    }
    EXPECT_FALSE(shared.holdReason());
}

}  // namespace
}  // namespace cvl
