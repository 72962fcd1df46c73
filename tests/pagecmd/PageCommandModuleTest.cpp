// The command bar's module: the selection reaches the grammar, merge asks for the other PDFs
// with a "Merge" chooser, and every reply carries its request number.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "pagecmd/PageCommandModule.h"
#include "platform/TextEscape.h"
#include "platform/pdf/PdfDocument.h"
#include "support/ModuleFakes.h"
#include "support/PdfFixtures.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using json = nlohmann::json;

struct Bar {
    test::TempHome home;
    test::ModuleHarness h;
    PageCommandModule module;
    std::string source = home / "Report.pdf";

    Bar() {
        EXPECT_TRUE(test::writePdf(test::makeTextPdf(4), source));
        h.window->state.pageKind = "reader";
        h.window->state.sourcePaths = {source};
        h.window->state.shownPdf = source;
    }
    // Sends the command and waits for the reply to `seq`.
    json ask(const std::string& text, const std::string& sel, int seq) {
        module.handle(h.request("qrtiz://pagecmd?op=ask&seq=" + std::to_string(seq) +
                                "&path=" + percentEncode(source) + "&text=" + percentEncode(text) +
                                "&n=4&cur=1&sel=" + sel + "&pdf=1"));
        return replyTo(seq);
    }
    json replyTo(int seq) {
        json found;
        h.runUntil([&] {
            for (const auto& s : h.window->callsOf("cvlPageCmdReply")) {
                auto open = s.find("cvlPageCmdReply(") + 16;
                json r = json::parse(s.substr(open, s.rfind(")}catch") - open), nullptr, false);
                if (r.is_object() && r["seq"] == std::to_string(seq)) found = r;
            }
            return !found.is_null();
        });
        return found;
    }
};

TEST(PageCommandModule, TheSelectionReachesTheGrammarAndTheRunWritesTheFile) {
    Bar bar;
    EXPECT_EQ(bar.ask("delete the selected pages", "", 1)["question"],
              "No pages are selected. Which pages do you mean?");
    json preview = bar.ask("delete the selected pages", "3,1", 2);
    ASSERT_EQ(preview["kind"], "preview") << preview.dump();
    EXPECT_EQ(preview["summary"], "Remove pages 1 and 3 (2 of 4). The new PDF has 2 pages.");

    bar.module.handle(
        bar.h.request("qrtiz://pagecmd?op=run&seq=3&id=" + preview["id"].get<std::string>() +
                      "&path=" + percentEncode(bar.source)));
    json done = bar.replyTo(3);
    ASSERT_EQ(done["kind"], "done") << done.dump();
    auto written = PdfDocument::openFile(done["outputs"][0].get<std::string>());
    ASSERT_TRUE(written.ok());
    EXPECT_EQ(written->pageText(0).value_or("").find("Page 2"), 0u);
    bar.h.drain();
    EXPECT_EQ(bar.h.app.logLines, std::vector<std::string>{"ask-corvello: run 1 new file(s)"});
}

TEST(PageCommandModule, MergeAsksForTheOtherPdfsWithAMergeChooser) {
    Bar bar;
    const std::string annex = bar.home / "Annex.pdf";
    ASSERT_TRUE(test::writePdf(test::makeTextPdf(2, "beta"), annex));
    bar.h.dialogs.chooseAnswers = {{}, {annex}};
    EXPECT_EQ(bar.ask("merge", "", 1)["message"],
              "No other PDFs were chosen, so there is nothing to merge.");
    json preview = bar.ask("merge", "", 2);
    ASSERT_EQ(preview["kind"], "preview") << preview.dump();
    EXPECT_NE(preview["summary"].get<std::string>().find("Annex.pdf"), std::string::npos);
    ASSERT_EQ(bar.h.dialogs.choices.size(), 2u);
    const FileChoice& choice = bar.h.dialogs.choices[1];
    EXPECT_EQ(choice.prompt, "Merge");
    EXPECT_TRUE(choice.multiple);
    EXPECT_EQ(choice.extensions, std::vector<std::string>{"pdf"});

    // Texts for a document that takes no page commands go to the question box; a file that
    // is gone is refused at once.
    bar.module.handle(bar.h.request("qrtiz://pagecmd?op=ask&seq=4&text=merge&n=0&pdf=1"));
    EXPECT_EQ(bar.replyTo(4)["kind"], "notACommand");
    bar.module.handle(bar.h.request("qrtiz://pagecmd?op=ask&seq=5&text=merge&n=3&pdf=1&path=" +
                                    percentEncode(bar.home / "gone.pdf")));
    EXPECT_EQ(bar.replyTo(5)["kind"], "refuse");
    EXPECT_EQ(bar.h.dialogs.choices.size(), 2u);

    // A page cannot aim a command at a document its window does not show.
    const std::string other = bar.home / "Other.pdf";
    ASSERT_TRUE(test::writePdf(test::makeTextPdf(4), other));
    bar.module.handle(
        bar.h.request("qrtiz://pagecmd?op=ask&seq=6&text=" + percentEncode("delete page 2") +
                      "&n=4&pdf=1&path=" + percentEncode(other)));
    json refused = bar.replyTo(6);
    EXPECT_EQ(refused["kind"], "refuse");
    EXPECT_EQ(refused["message"], "This window can only change the documents it shows.");
}

}  // namespace
}  // namespace cvl
