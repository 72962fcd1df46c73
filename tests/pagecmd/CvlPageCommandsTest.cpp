// `cvl parse` and `cvl accept`, and the JSON forms they print.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "pagecmd/CvlPageCommands.h"
#include "pagecmd/PageCommandJson.h"

namespace cvl {
namespace {

using nlohmann::json;

json printed(const CvlRun& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << "one line";
    return json::parse(run.out);
}

TEST(PageCommandJson, CarriesEveryKeyAndReadsBack) {
    const PageCommand cmd = PageCommand::rotate({2, 3}, -90);
    const json j = pageCommandToJson(cmd);
    EXPECT_EQ(j, json::parse(R"({"op":"rotate","pages":[2,3],"degrees":-90,"after":[],
        "order":[],"at":0,"jpeg":false,"others":[]})"));
    EXPECT_EQ(pageCommandJsonText(PageCommand::insertBlank(4)),
              R"({"op":"insertBlank","pages":[],"degrees":0,"after":[],"order":[],"at":4,)"
              R"("jpeg":false,"others":[]})");
    for (const PageCommand& c :
         {PageCommand::remove({1, 5}), PageCommand::reorder({2, 1}), PageCommand::split({3}),
          PageCommand::toImages({1}, true), PageCommand::merge({"/a b/ä.pdf"}),
          PageCommand::compress(), PageCommand::duplicate(2), PageCommand::extract({4})}) {
        const auto back = pageCommandFromJson(pageCommandToJson(c));
        ASSERT_TRUE(back.ok()) << back.error();
        EXPECT_EQ(*back, c);
    }
}

TEST(PageCommandJson, RejectsMalformedCommands) {
    EXPECT_FALSE(pageCommandFromJson(json::array()).ok());
    EXPECT_FALSE(pageCommandFromJson(json{{"pages", {1}}}).ok());
    EXPECT_EQ(pageCommandFromJson(json{{"op", "shred"}}).error(),
              "Unknown page command \"shred\".");
    EXPECT_FALSE(pageCommandFromJson(json{{"op", "delete"}, {"pages", "1,2"}}).ok());
    EXPECT_FALSE(pageCommandFromJson(json{{"op", "delete"}, {"pages", {1.5}}}).ok());
    EXPECT_FALSE(pageCommandFromJson(json{{"op", "rotate"}, {"degrees", 1e12}}).ok());
    EXPECT_FALSE(pageCommandFromJson(json{{"op", "rotate"}, {"degrees", 4294967386LL}}).ok());
    EXPECT_FALSE(pageCommandFromJson(json{{"op", "toImages"}, {"jpeg", 1}}).ok());
    EXPECT_FALSE(pageCommandFromJson(json{{"op", "merge"}, {"others", {1}}}).ok());
    const auto partial = pageCommandFromJson(json{{"op", "delete"}, {"pages", {3}}});
    ASSERT_TRUE(partial.ok());
    EXPECT_EQ(*partial, PageCommand::remove({3}));
}

TEST(CvlParse, PrintsEachKindOfOutcome) {
    const json command = printed(runCvlParse({"--pages", "10", "delete pages 2-3"}));
    EXPECT_EQ(command["kind"], "command");
    EXPECT_EQ(command["phrase"], "delete pages 2-3");
    EXPECT_EQ(command["command"]["op"], "delete");
    EXPECT_EQ(command["command"]["pages"], json({2, 3}));

    const json clarify = printed(runCvlParse({"--pages=10", "--current", "4", "rotate"}));
    EXPECT_EQ(clarify["kind"], "clarify");
    EXPECT_EQ(clarify["message"], "Which pages should turn, and which way?");
    EXPECT_EQ(clarify["options"][0], "rotate page 4 right");

    const json refuse = printed(runCvlParse({"--pages", "3", "delete page 9"}));
    EXPECT_EQ(refuse, json({{"kind", "refuse"},
                            {"message", "This document has 3 pages, so there is no page 9."}}));
    EXPECT_EQ(printed(runCvlParse({"--pages", "3", "frobnicate the png"})),
              json({{"kind", "unreadable"}}));
    // The page count defaults to 0: no document, so nothing is a command.
    EXPECT_EQ(printed(runCvlParse({"delete page 1"})), json({{"kind", "notACommand"}}));
}

TEST(CvlParse, SelectionAndKeyOrder) {
    const CvlRun run =
        runCvlParse({"--selection", "5, 2", "--pages", "6", "--", "rotate selected pages left"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind(R"({"kind":"command","command":{"op":"rotate","pages":[2,5])", 0), 0u)
        << run.out;
    EXPECT_EQ(printed(runCvlParse(
                  {"--pages", "6", "--selection", "", "delete the selection"}))["message"],
              "No pages are selected. Which pages do you mean?");
    // A text that starts like a negative number is text, not an option.
    EXPECT_EQ(printed(runCvlParse({"--pages", "6", "-90 degrees"}))["kind"], "notACommand");
}

TEST(CvlParse, BadArgumentsExitTwoWithUsage) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--pages"},
        {"--pages", "ten", "delete page 1"},
        {"--pages", "-1", "delete page 1"},
        {"--current", "1.5", "delete page 1"},
        {"--selection", "2,,5", "delete page 1"},
        {"--selection", "a", "delete page 1"},
        {"--colour", "red", "delete page 1"},
        {"delete", "page", "1"},
    };
    for (const auto& args : bad) {
        const CvlRun run = runCvlParse(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.out.empty());
        EXPECT_NE(run.err.find("usage: cvl parse"), std::string::npos) << run.err;
    }
}

TEST(CvlAccept, ChecksARewriteAgainstTheTypedText) {
    const json accepted = printed(
        runCvlAccept({"--pages", "10", "get rid of pages three through five", "delete pages 3-5"}));
    EXPECT_EQ(accepted["kind"], "command");
    EXPECT_EQ(accepted["command"]["pages"], json({3, 4, 5}));
    const json refused =
        printed(runCvlAccept({"--pages", "10", "get rid of page three", "delete pages 3-5"}));
    EXPECT_EQ(refused["kind"], "clarify");
    EXPECT_EQ(refused["options"], json::array());

    const CvlRun missing = runCvlAccept({"--pages", "10", "only the typed text"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("usage: cvl accept"), std::string::npos);
}

}  // namespace
}  // namespace cvl
