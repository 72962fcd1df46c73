// The notice placement kept in the per-user preferences store.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/UserPrefs.h"
#include "support/TempHome.h"
#include "updates/ZKNoticeStore.h"

namespace cvl {
namespace {

using namespace ZKNoticePlacement;

TEST(NoticeStore, PlacementSurvivesInThePreferencesAndBadValuesAreIgnored) {
    test::TempHome home;
    EXPECT_FALSE(ZKNoticeStore::load());
    ZKNoticeStore::store(Saved{Spot::bottomCenter, {0.5, 0.9}});
    auto back = ZKNoticeStore::load();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->spot, Spot::bottomCenter);
    EXPECT_DOUBLE_EQ(back->unit.y, 0.9);
    EXPECT_TRUE(UserPrefs::value("ZKNotice.placement"));

    UserPrefs::setValue("ZKNotice.placement", "bottomCenter");
    EXPECT_FALSE(ZKNoticeStore::load());  // unusable: the default spot is used
    ZKNoticeStore::store(std::nullopt);
    EXPECT_FALSE(UserPrefs::value("ZKNotice.placement"));
    EXPECT_FALSE(ZKNoticeStore::load(""));
}

}  // namespace
}  // namespace cvl
