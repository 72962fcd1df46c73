#include "updates/NoticeSelftest.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "updates/CorvelloNotice.h"
#include "updates/ZKNoticeClock.h"
#include "updates/ZKNoticeContent.h"
#include "updates/ZKNoticeLint.h"
#include "updates/ZKNoticePlacement.h"
#include "updates/ZKNoticeQueue.h"

namespace cvl {

namespace {

struct Checks {
    std::vector<std::string> failures;
    void expect(bool ok, const std::string& what) {
        if (!ok) failures.push_back(what);
    }
};

ZKNoticeContent notice(const char* title, const char* id = nullptr) {
    ZKNoticeContent c;
    c.title = title;
    if (id) c.id = id;
    return c;
}

bool lintFinds(const ZKNoticeContent& c, const std::string& start) {
    auto v = ZKNoticeLint::violations(c);
    return std::any_of(v.begin(), v.end(),
                       [&](const std::string& s) { return s.rfind(start, 0) == 0; });
}

}  // namespace

int noticeSelftest() {
    Checks t;

    // Stickiness and dwell.
    ZKNoticeContent negative = notice("Update failed");
    negative.tone = ZKNoticeTone::negative;
    t.expect(negative.isSticky(), "a negative card is not sticky");
    negative.sticky = false;
    t.expect(!negative.isSticky(), "sticky=false does not release a negative card");
    ZKNoticeContent positive = notice("Archived");
    positive.tone = ZKNoticeTone::positive;
    t.expect(!positive.isSticky(), "a positive card is sticky");
    t.expect(positive.dwellSeconds() == 6.5, "the default dwell is not 6.5 seconds");
    t.expect(toneFromRawValue("loud") == ZKNoticeTone::neutral, "an unknown tone is not neutral");

    // The dwell clock.
    ZKNoticeClock clock(6.5);
    clock.start(100);
    clock.pause(102);
    t.expect(clock.elapsed(110) == 2, "a paused clock advances");
    t.expect(!clock.isComplete(200), "a paused clock completes");
    clock.resume(110);
    t.expect(clock.elapsed(113) == 5, "a resumed clock does not run");
    t.expect(clock.isComplete(114.5), "the clock does not complete at its dwell");

    // Queueing.
    ZKNoticeQueue queue;
    queue.show(notice("Showing"));
    queue.show(notice("Old", "sync"));
    queue.show(notice("Other"));
    queue.show(notice("New", "sync"));
    const auto& q = queue.queued();
    t.expect(q.size() == 2 && q[0].title == "Other" && q[1].title == "New",
             "a newer notice does not replace the queued one with its id");
    auto replaced = queue.show(notice("Showing again", nullptr));
    t.expect(replaced.outcome == ZKNoticeQueue::Outcome::queued,
             "a notice without an id does not queue behind the card");
    ZKNoticeQueue full;
    full.show(notice("Up"));
    for (const char* title : {"1", "2", "3", "4", "5"}) full.show(notice(title));
    t.expect(full.queued().size() == 4 && full.queued().front().title == "2",
             "a full queue does not drop its oldest notice");
    ZKNoticeQueue same;
    same.show(notice("First", "save"));
    auto inPlace = same.show(notice("Second", "save"));
    t.expect(inPlace.outcome == ZKNoticeQueue::Outcome::replacedShowing &&
                 same.showing()->title == "Second",
             "a notice with the showing card's id does not take its place");

    // Outside notices are rate-limited.
    ZKNoticeRateLimit limit;
    int accepted = 0;
    for (int i = 0; i < 8; ++i) accepted += limit.accept(i * 0.5);
    t.expect(accepted == 6, "more than six outside notices were accepted in ten seconds");
    t.expect(limit.accept(10.1), "an outside notice is declined after the window passed");

    // Notices from a query.
    std::map<std::string, std::string> query = {{"title", std::string(100, 't')},
                                                {"body", std::string(500, 'b')},
                                                {"keys", "Ctrl|" + std::string(30, 'k')},
                                                {"dwell", "100"},
                                                {"tone", "caution"}};
    auto fromQuery = noticeFromQuery(query);
    t.expect(fromQuery.body.size() == 240, "a 500-character body is not cut to 240");
    t.expect(fromQuery.title.size() == 80, "a long title is not cut to 80");
    t.expect(fromQuery.dwell == 30.0, "a dwell of 100 does not become 30");
    t.expect(fromQuery.keys.size() == 2 && fromQuery.keys[1].size() == 24,
             "keys are not split at | and cut to 24");
    t.expect(fromQuery.tone == ZKNoticeTone::caution, "the tone is not read from the query");
    query["dwell"] = "0.5";
    t.expect(noticeFromQuery(query).dwell == 2.0, "a dwell of 0.5 does not become 2");

    // Facade.
    std::string long900(900, 'x');
    t.expect(CorvelloNotice::bounded(long900, 900) == long900, "bounded changes a text that fits");
    t.expect(CorvelloNotice::bounded("  abcdef \n", 4) == "abc\u2026",
             "bounded does not trim and shorten with an ellipsis");
    t.expect(CorvelloNotice::tone("You can\u2019t sign here") == ZKNoticeTone::negative,
             "a typographic apostrophe in can't is not negative");
    t.expect(CorvelloNotice::tone("Archived") == ZKNoticeTone::positive,
             "Archived is not positive");
    t.expect(CorvelloNotice::tone("Saved a copy") == ZKNoticeTone::neutral,
             "a plain title is not neutral");
    t.expect(CorvelloNotice::tone("Open the file first") == ZKNoticeTone::caution,
             "first is not a caution");

    // Placement.
    using namespace ZKNoticePlacement;
    Saved saved{Spot::bottomLeft, {0.25, 0.75}};
    auto round = decode(encode(saved));
    t.expect(round && round->spot == saved.spot && round->unit.x == 0.25 && round->unit.y == 0.75,
             "a placement does not survive an encode and decode round trip");
    t.expect(!decode(nlohmann::json("topLeft")), "a bare string is accepted as a placement");
    t.expect(!decode({{"spot", "topLeft"}, {"x", "a"}, {"y", "b"}}),
             "a placement without numbers is accepted");
    t.expect(!decode({{"spot", "centre"}, {"x", 0.5}, {"y", 0.5}}), "an unknown spot is accepted");
    Size card{300, 80};
    Point onSmall = restore(Saved{Spot::bottomRight, {0.99, 0.99}}, card, Rect{0, 0, 1280, 800});
    t.expect(onSmall.x + card.width <= 1280 - kInset && onSmall.y + card.height <= 800 - kInset,
             "a placement saved on a larger display lands off the smaller one");
    Press still({10, 10});
    t.expect(still.release() == Press::Outcome::click && !still.release(),
             "a still press does not click exactly once");
    Press moved({10, 10});
    moved.moveTo({210, 10});
    t.expect(moved.release() == Press::Outcome::drag, "a press moved 200 points is not a drag");

    // Lint.
    ZKNoticeContent bad;
    bad.title = "   ";
    t.expect(lintFinds(bad, "empty title"), "an empty title passes");
    bad.title = std::string(39, 'a');
    t.expect(lintFinds(bad, "title over 38 characters (39)"), "a 39-character title passes");
    bad.title = "Fine";
    bad.body = std::string(161, 'b');
    t.expect(lintFinds(bad, "body over 160 characters (161)"), "a 161-character body passes");
    bad.body = "Saved \u2014 done";
    t.expect(lintFinds(bad, "em dash"), "an em dash passes");
    bad.body = "The file is currently open";
    t.expect(lintFinds(bad, "'currently'"), "'currently' passes");
    bad.body = "Press the button to retry.";
    t.expect(lintFinds(bad, "body opens with an instruction"), "a body opening with press passes");
    bad.body = "Use a shortcut, like the menu.";
    t.expect(lintFinds(bad, "hypothetical example"), "', like ' passes");
    bad.body = "Pick the colour again";
    t.expect(lintFinds(bad, "UK spelling 'colour'"), "a UK spelling passes");
    bad.body = "Done!";
    t.expect(lintFinds(bad, "exclamation mark"), "an exclamation mark passes");
    bad.body = "";
    bad.keys = {"Ctrl+Shift+Alt+Delete"};
    t.expect(lintFinds(bad, "keycap 'Ctrl+Shift+Alt+Delete'"), "a 21-character keycap passes");
    t.expect(ZKNoticeLint::violations(notice("Saved a copy")).empty(),
             "a plain notice has lint violations");

    // The catalogue keeps its rules; the decoy breaks them.
    for (const char* id : {"up-to-date", "update-failed", "no-versions", "restore-failed"})
        t.expect(CorvelloNoticeCopy::entry(id).has_value(),
                 std::string("no catalogue entry ") + id);
    for (const auto& e : CorvelloNoticeCopy::catalogue())
        for (const auto& rule : CorvelloNoticeCopy::broken(e.content))
            t.failures.push_back("catalogue entry " + e.id + " breaks: " + rule);
    auto decoyBreaks = CorvelloNoticeCopy::broken(CorvelloNoticeCopy::decoy());
    auto breaks = [&](const char* name) {
        return std::find(decoyBreaks.begin(), decoyBreaks.end(), name) != decoyBreaks.end();
    };
    t.expect(breaks("a body under 12 characters with no keycaps says nothing"),
             "the decoy's short body passes");
    t.expect(breaks("the body adds something the title does not say"),
             "the decoy's body that repeats its title passes");

    for (const auto& f : t.failures) std::printf("FAIL %s\n", f.c_str());
    std::printf("ZKNotice selftest: %s\n", t.failures.empty() ? "PASS" : "FAIL");
    return t.failures.empty() ? 0 : 1;
}

}  // namespace cvl
