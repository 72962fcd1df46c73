// The notice queue, rate limit, dwell clock, placement and the presenter that ties them to
// a card view, driven on a hand-drained main queue.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/Dispatch.h"
#include "updates/ZKNotice.h"

namespace cvl {
namespace {

using namespace ZKNoticePlacement;

ZKNoticeContent notice(const char* title, const char* id = nullptr) {
    ZKNoticeContent c;
    c.title = title;
    if (id) c.id = id;
    return c;
}

std::vector<std::string> titles(const std::deque<ZKNoticeContent>& q) {
    std::vector<std::string> out;
    for (const auto& c : q) out.push_back(c.title);
    return out;
}

TEST(NoticeQueue, ReplacementByIdAndTheLimit) {
    ZKNoticeQueue q;
    EXPECT_EQ(q.show(notice("Card")).outcome, ZKNoticeQueue::Outcome::presented);
    q.show(notice("Sync 1", "sync"));
    q.show(notice("Unrelated"));
    q.show(notice("Sync 2", "sync"));
    EXPECT_EQ(titles(q.queued()), (std::vector<std::string>{"Unrelated", "Sync 2"}));

    q.show(notice("A"));
    q.show(notice("B"));
    auto result = q.show(notice("C"));
    EXPECT_EQ(result.outcome, ZKNoticeQueue::Outcome::queued);
    ASSERT_TRUE(result.dropped);
    EXPECT_EQ(result.dropped->title, "Unrelated");
    EXPECT_EQ(titles(q.queued()), (std::vector<std::string>{"Sync 2", "A", "B", "C"}));
    EXPECT_EQ(q.lastShown()->title, "C");
    EXPECT_EQ(q.lastPresented()->title, "Card");

    auto next = q.dismiss();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->title, "Sync 2");
    EXPECT_EQ(q.showing()->title, "Sync 2");
    // The showing card's id: the new one takes its place, the queue is untouched.
    auto inPlace = q.show(notice("Sync 3", "sync"));
    EXPECT_EQ(inPlace.outcome, ZKNoticeQueue::Outcome::replacedShowing);
    EXPECT_EQ(q.showing()->title, "Sync 3");
    EXPECT_EQ(q.queued().size(), 3u);

    while (q.dismiss()) {
    }
    EXPECT_FALSE(q.showing());
    EXPECT_FALSE(q.dismiss());
}

TEST(NoticeRateLimit, SixInAnyTenSeconds) {
    ZKNoticeRateLimit limit;
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(limit.accept(100 + i)) << i;
    EXPECT_FALSE(limit.accept(106));
    EXPECT_FALSE(limit.accept(109.9));
    EXPECT_TRUE(limit.accept(110.5));   // the first one left the window
    EXPECT_FALSE(limit.accept(110.6));  // the second is still inside
    EXPECT_TRUE(limit.accept(111.5));
}

TEST(NoticeClock, PauseHoldsAndResumeRuns) {
    ZKNoticeClock clock(4);
    EXPECT_FALSE(clock.running());
    clock.start(10);
    EXPECT_DOUBLE_EQ(clock.fraction(11), 0.25);
    clock.pause(12);
    EXPECT_DOUBLE_EQ(clock.elapsed(50), 2);
    EXPECT_FALSE(clock.isComplete(50));
    EXPECT_DOUBLE_EQ(clock.remaining(50), 0);
    clock.pause(60);  // a second pause changes nothing
    clock.resume(60);
    EXPECT_DOUBLE_EQ(clock.elapsed(61), 3);
    EXPECT_DOUBLE_EQ(clock.remaining(61), 1);
    EXPECT_FALSE(clock.isComplete(61.9));
    EXPECT_TRUE(clock.isComplete(62));
    EXPECT_DOUBLE_EQ(clock.fraction(100), 1);
}

TEST(Placement, SpotsAreInsetFromTheVisibleFrame) {
    Rect screen{0, 30, 1440, 870};  // below a 30-point top bar
    Size card{320, 90};
    Point tl = origin(Spot::topLeft, card, screen);
    EXPECT_DOUBLE_EQ(tl.x, 8);
    EXPECT_DOUBLE_EQ(tl.y, 38);
    Point br = origin(Spot::bottomRight, card, screen);
    EXPECT_DOUBLE_EQ(br.x, 1440 - 320 - 8);
    EXPECT_DOUBLE_EQ(br.y, 30 + 870 - 90 - 8);
    Point tc = origin(Spot::topCenter, card, screen);
    EXPECT_DOUBLE_EQ(tc.x, (1440 - 320) / 2.0);
    Point ml = origin(Spot::midLeft, card, screen);
    EXPECT_DOUBLE_EQ(ml.y, 30 + (870 - 90) / 2.0);
    // No saved placement: the default spot at the top.
    Point fallback = place(std::nullopt, card, screen);
    EXPECT_DOUBLE_EQ(fallback.y, 38);
}

TEST(Placement, SavedChoiceRestoresOnAnotherDisplayFullyVisible) {
    Size card{320, 90};
    Rect big{0, 0, 2560, 1440}, small{0, 0, 1280, 800};
    Saved saved = settle({2000, 1300}, card, big);  // dropped near the bottom right
    EXPECT_EQ(saved.spot, Spot::bottomRight);
    Point back = restore(saved, card, big);
    EXPECT_NEAR(back.x, origin(Spot::bottomRight, card, big).x, 1e-9);
    Point there = restore(saved, card, small);
    EXPECT_GE(there.x, 8);
    EXPECT_LE(there.x + card.width, 1280 - 8);
    EXPECT_LE(there.y + card.height, 800 - 8);
    EXPECT_NEAR(there.x, origin(Spot::bottomRight, card, small).x, 1.0);
    // A unit point at the very corner is pulled back inside.
    Point corner = restore(Saved{Spot::topLeft, {0, 0}}, card, small);
    EXPECT_DOUBLE_EQ(corner.x, 8);
    EXPECT_DOUBLE_EQ(corner.y, 8);
    EXPECT_EQ(settle({600, 5}, card, small).spot, Spot::topCenter);
    EXPECT_EQ(settle({0, 350}, card, small).spot, Spot::midLeft);
}

TEST(Placement, StoredValuesRoundTripAndBadOnesAreRejected) {
    Saved saved{Spot::midRight, {0.9, 0.4}};
    auto back = decode(encode(saved));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->spot, Spot::midRight);
    EXPECT_DOUBLE_EQ(back->unit.x, 0.9);
    EXPECT_DOUBLE_EQ(back->unit.y, 0.4);
    for (const char* name : {"topLeft", "topCenter", "topRight", "midLeft", "midRight",
                             "bottomLeft", "bottomCenter", "bottomRight"})
        EXPECT_EQ(spotName(*spotFromName(name)), name);

    EXPECT_FALSE(decode(nlohmann::json(3.5)));
    EXPECT_FALSE(decode(nlohmann::json::array({0.5, 0.5})));
    EXPECT_FALSE(decode({{"spot", "topLeft"}}));
    EXPECT_FALSE(decode({{"spot", "topLeft"}, {"x", "0.5"}, {"y", 0.5}}));
    EXPECT_FALSE(decode({{"spot", "middle"}, {"x", 0.5}, {"y", 0.5}}));
    EXPECT_FALSE(decode({{"spot", 3}, {"x", 0.5}, {"y", 0.5}}));
    auto clamped = decode({{"spot", "topLeft"}, {"x", -4}, {"y", 7}});
    ASSERT_TRUE(clamped);
    EXPECT_DOUBLE_EQ(clamped->unit.x, 0);
    EXPECT_DOUBLE_EQ(clamped->unit.y, 1);

    nlohmann::json defaults = {{"other", 1}};
    storePlacement(defaults, kDefaultsKey, saved);
    EXPECT_EQ(savedPlacement(defaults, kDefaultsKey)->spot, Spot::midRight);
    EXPECT_FALSE(savedPlacement(defaults, ""));  // no key: nothing is restored
    defaults[kDefaultsKey] = "garbage";
    EXPECT_FALSE(savedPlacement(defaults, kDefaultsKey));
    resetPlacement(defaults, kDefaultsKey);
    EXPECT_FALSE(defaults.contains(kDefaultsKey));
    EXPECT_EQ(defaults["other"], 1);
}

TEST(Press, StillPressClicksOnceMovedPressDrags) {
    Press still({50, 50});
    still.moveTo({52, 51});  // within the threshold
    EXPECT_FALSE(still.isDrag());
    EXPECT_EQ(still.release(), Press::Outcome::click);
    EXPECT_FALSE(still.release());
    Press moved({50, 50});
    moved.moveTo({250, 50});
    moved.moveTo({51, 50});  // coming back does not undo a drag
    EXPECT_EQ(moved.release(), Press::Outcome::drag);
}

class FakeView : public ZKNoticeView {
  public:
    Size cardSize(const ZKNoticeContent&) override { return {300, 80}; }
    Rect visibleFrame() override { return {0, 0, 1200, 800}; }
    void present(const ZKNoticeContent& c, Point at) override {
        presented.push_back(c.title);
        where = at;
    }
    void moveCard(Point at) override { where = at; }
    void fadeOut() override { ++fades; }

    std::vector<std::string> presented;
    Point where;
    int fades = 0;
};

class Presenter : public ::testing::Test {
  protected:
    void SetUp() override {
        main_ = std::make_shared<Dispatch::ManualQueue>();
        Dispatch::setMain(main_);
        view_ = std::make_shared<FakeView>();
        ZKNotice::Hooks hooks;
        hooks.onClick = [this](const ZKNoticeContent& c) { clicked_.push_back(c.title); };
        hooks.loadPlacement = [this] { return savedPlacement(defaults_, kDefaultsKey); };
        hooks.storePlacement = [this](const std::optional<Saved>& s) {
            if (s)
                storePlacement(defaults_, kDefaultsKey, *s);
            else
                resetPlacement(defaults_, kDefaultsKey);
        };
        notices_ = ZKNotice::create(view_, hooks);
    }
    void TearDown() override {
        notices_.reset();
        Dispatch::setMain(nullptr);
    }

    std::shared_ptr<Dispatch::ManualQueue> main_;
    std::shared_ptr<FakeView> view_;
    std::shared_ptr<ZKNotice> notices_;
    std::vector<std::string> clicked_;
    nlohmann::json defaults_ = nlohmann::json::object();
};

TEST_F(Presenter, PostHopsToTheMainQueueAndTheDwellDismisses) {
    ZKNoticeContent quick = notice("Quick");
    quick.dwell = 0.05;
    notices_->post(quick);
    notices_->post(notice("Next"));
    EXPECT_TRUE(view_->presented.empty());  // nothing until the main queue runs
    main_->drain();
    ASSERT_EQ(view_->presented.size(), 1u);
    EXPECT_EQ(view_->presented[0], "Quick");
    EXPECT_TRUE(
        main_->runUntil([&] { return view_->presented.size() == 2; }, std::chrono::seconds(5)));
    EXPECT_EQ(view_->presented[1], "Next");
    EXPECT_EQ(view_->fades, 1);
}

TEST_F(Presenter, HoverHoldsTheCardAndStickyCardsWait) {
    ZKNoticeContent held = notice("Held");
    held.dwell = 0.05;
    notices_->show(held);
    notices_->pointerEntered();
    main_->runUntil([] { return false; }, std::chrono::milliseconds(150));
    EXPECT_EQ(view_->fades, 0);
    EXPECT_FALSE(notices_->clock()->running());
    notices_->pointerLeft();
    EXPECT_TRUE(main_->runUntil([&] { return view_->fades == 1; }, std::chrono::seconds(5)));

    ZKNoticeContent failed = notice("Couldn't save");
    failed.tone = ZKNoticeTone::negative;
    failed.dwell = 0.01;
    notices_->show(failed);
    notices_->pointerLeft();  // a sticky card's clock never starts
    main_->runUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(view_->fades, 1);
    EXPECT_FALSE(notices_->clock()->running());
    notices_->dismiss();
    EXPECT_EQ(view_->fades, 2);
}

TEST_F(Presenter, ClickCallsTheHostAndDragSavesTheNearestSpot) {
    ZKNoticeContent first = notice("First");
    first.sticky = true;
    notices_->show(first);
    notices_->show(notice("Second"));
    EXPECT_DOUBLE_EQ(view_->where.y, 8);  // default spot at the top

    notices_->pressBegan({900, 30});
    notices_->pressEnded();
    EXPECT_EQ(clicked_, std::vector<std::string>{"First"});
    ASSERT_EQ(view_->presented.size(), 2u);

    notices_->pressBegan({900, 30});
    notices_->pressMoved({100, 720});
    notices_->pressEnded();
    EXPECT_EQ(clicked_.size(), 1u);  // a drag does not click
    auto saved = notices_->savedPlacement();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->spot, Spot::bottomLeft);
    EXPECT_DOUBLE_EQ(view_->where.x, 8);
    EXPECT_DOUBLE_EQ(view_->where.y, 800 - 80 - 8);

    // The next card appears where the user put the last one.
    ZKNoticeContent third = notice("Third");
    third.sticky = true;
    notices_->show(third);  // queued behind "Second"
    notices_->dismiss();
    EXPECT_EQ(view_->presented.back(), "Third");
    EXPECT_DOUBLE_EQ(view_->where.x, 8);
    notices_->resetPlacement();
    EXPECT_FALSE(notices_->savedPlacement());
}

TEST_F(Presenter, OutsideNoticesAreRateLimited) {
    int accepted = 0;
    for (int i = 0; i < 9; ++i) accepted += notices_->showFromOutside(notice("Outside"));
    EXPECT_EQ(accepted, 6);
    EXPECT_EQ(notices_->queue().queued().size(), 4u);  // one showing, four waiting
}

}  // namespace
}  // namespace cvl
