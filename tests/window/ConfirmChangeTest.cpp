// The shared confirmation rule, answered by fake dialogs.
#include <gtest/gtest.h>

#include "app/Config.h"
#include "support/ModuleFakes.h"
#include "support/TempHome.h"
#include "window/BridgeModules.h"
#include "window/ConfirmChange.h"

namespace cvl {
namespace {

struct Outcome {
    int proceeded = 0;
    int cancelled = 0;
};

void askDelete(test::ModuleHarness& h, Outcome& out) {
    ConfirmChange::ask(
        h.dialogs, h.app, "delete", ConfirmSheet{"Delete 2 pages?", "", "Delete", "", true},
        [&] { ++out.proceeded; }, [&] { ++out.cancelled; });
    h.drain();
}

TEST(ConfirmChange, VerbCancelAndDontAskAgain) {
    test::TempHome home;
    test::ModuleHarness h;
    Outcome out;

    h.dialogs.confirmAnswers = {ConfirmAnswer::Cancel, ConfirmAnswer::Verb,
                                ConfirmAnswer::Alternate};
    askDelete(h, out);
    EXPECT_EQ(out.cancelled, 1);
    EXPECT_EQ(out.proceeded, 0);
    ASSERT_EQ(h.dialogs.sheets.size(), 1u);
    EXPECT_EQ(h.dialogs.sheets[0].alternate, "Delete and Don\u2019t Ask Again");

    askDelete(h, out);
    EXPECT_EQ(out.proceeded, 1);
    EXPECT_FALSE(cfgBool("pageops_skip_delete", false));

    askDelete(h, out);  // the alternate: proceeds and remembers
    EXPECT_EQ(out.proceeded, 2);
    EXPECT_TRUE(cfgBool("pageops_skip_delete", false));
    EXPECT_EQ(h.app.calls.back(), "settings");

    askDelete(h, out);  // no sheet any more, for this action only
    EXPECT_EQ(out.proceeded, 3);
    EXPECT_EQ(h.dialogs.sheets.size(), 3u);
    EXPECT_TRUE(ConfirmChange::needed("rotate"));
}

TEST(ConfirmChange, ConfirmationsTurnedOffProceedAtOnce) {
    test::TempHome home;
    ASSERT_TRUE(cfgSetBool("pageops_confirm", false).ok());
    test::ModuleHarness h;
    Outcome out;
    askDelete(h, out);
    EXPECT_EQ(out.proceeded, 1);
    EXPECT_TRUE(h.dialogs.sheets.empty());
}

TEST(BridgeModuleSet, EachNameHasOneHome) {
    struct Named : BridgeModule {
        std::vector<std::string> ops;
        explicit Named(std::vector<std::string> o) : ops(std::move(o)) {}
        std::vector<std::string> operations() const override { return ops; }
        void handle(const BridgeRequest&) override {}
    };
    BridgeModuleSet set;
    auto first = std::make_unique<Named>(std::vector<std::string>{"bates", "batesready"});
    BridgeModule* firstPtr = first.get();
    set.add(std::move(first));
    set.add(std::make_unique<Named>(std::vector<std::string>{"batesready", "redact"}));
    EXPECT_EQ(set.forOperation("batesready"), firstPtr);
    EXPECT_NE(set.forOperation("redact"), nullptr);
    EXPECT_EQ(set.forOperation("Bates"), nullptr);
}

}  // namespace
}  // namespace cvl
