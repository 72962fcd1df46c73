// Bates labels, the settings hash, the page's settings, the audit manifest and the first-number
// rule: the pure logic that decides which numbers a run takes.
#include <gtest/gtest.h>

#include "operations/BatesConfig.h"
#include "operations/BatesManifest.h"
#include "platform/FileIO.h"
#include "support/TempHome.h"

using namespace cvl;
using namespace cvl::BatesStamper;

namespace {

Manifest assigned(long long begin, long long end) {
    Manifest m;
    m.assigned.push_back({begin, end, "2024-05-01T09:30:00Z"});
    return m;
}

}  // namespace

TEST(BatesConfig, LabelsPadAndHash) {
    BatesConfig c;
    EXPECT_EQ(c.label(1), "ABC000001");
    EXPECT_EQ(c.label(42), "ABC000042");
    EXPECT_EQ(c.label(1234567), "ABC1234567");  // wider than pad: written in full
    c.pad = 0;
    EXPECT_EQ(c.label(7), "ABC7");
    c.pad = -3;
    EXPECT_EQ(c.label(7), "ABC7");

    BatesConfig a, b;
    EXPECT_EQ(a.settingsHash(), b.settingsHash());
    EXPECT_EQ(a.settingsHash().size(), 8u);
    EXPECT_EQ(a.settingsHash().find_first_not_of("0123456789abcdef"), std::string::npos);
    b.position = BatesPosition::topLeft;
    EXPECT_NE(a.settingsHash(), b.settingsHash());
    b = a;
    b.fontSize = 10.5;
    EXPECT_NE(a.settingsHash(), b.settingsHash());
    EXPECT_EQ(batesRealText(10), "10.0");
    EXPECT_EQ(batesRealText(10.5), "10.5");
}

TEST(BatesConfig, PageSettingsKeepDefaultsForWhatIsMissingOrUnusable) {
    BatesConfig c = batesConfigFromPage(
        R"({"prefix":"  SMITH ","start":"120","pad":4,"position":"topCenter","fontSize":12,)"
        R"("nameByBates":false,"margin":99,"halo":false})");
    EXPECT_EQ(c.prefix, "SMITH");
    EXPECT_EQ(c.start, 120);
    EXPECT_EQ(c.pad, 4);
    EXPECT_EQ(c.position, BatesPosition::topCenter);
    EXPECT_EQ(c.fontSize, 12);
    EXPECT_FALSE(c.nameByBates);
    EXPECT_EQ(c.margin, 24);  // never taken from the page
    EXPECT_TRUE(c.halo);

    // The page may hand its settings over as a JSON text holding the object.
    c = batesConfigFromPage(R"("{\"position\":\"sideways\",\"prefix\":\"   \"}")");
    EXPECT_EQ(c.position, BatesPosition::bottomRight);
    EXPECT_EQ(c.prefix, "");  // empty after trimming: the run refuses it
    EXPECT_EQ(c.start, 1);

    c = batesConfigFromPage("");
    EXPECT_EQ(c.prefix, "ABC");
    EXPECT_EQ(c.pad, 6);
    EXPECT_TRUE(c.nameByBates);
}

TEST(BatesNumbering, FirstNumberContinuesAfterAssignedRangesAndRefusesCollisions) {
    BatesConfig c;
    EXPECT_EQ(chooseStart(Manifest{}, c, std::nullopt).start, 1);

    Manifest m = assigned(1, 250);
    EXPECT_EQ(maxAssigned(m), 250);
    c.start = 100;
    auto choice = chooseStart(m, c, std::nullopt);
    EXPECT_EQ(choice.start, 251);
    EXPECT_FALSE(choice.collision);
    c.start = 400;
    EXPECT_EQ(chooseStart(m, c, std::nullopt).start, 400);

    choice = chooseStart(m, c, 200LL);
    ASSERT_TRUE(choice.collision);
    EXPECT_EQ(*choice.collision,
              "Bates ABC000200 is already assigned (ABC000001\u2013ABC000250). "
              "Start at ABC000251 or later.");
    EXPECT_TRUE(chooseStart(m, c, 250LL).collision);
    EXPECT_FALSE(chooseStart(m, c, 251LL).collision);

    // A gap between runs may be used explicitly; the suggestion is after the highest range.
    m.assigned.push_back({300, 310, ""});
    choice = chooseStart(m, c, 305LL);
    ASSERT_TRUE(choice.collision);
    EXPECT_NE(choice.collision->find("(ABC000300\u2013ABC000310). Start at ABC000311"),
              std::string::npos);
    EXPECT_FALSE(chooseStart(m, c, 260LL).collision);
}

TEST(BatesManifest, RoundTripsSortedAndTreatsDamageAsFresh) {
    test::TempHome dir;
    Manifest m = assigned(1, 4);
    ManifestRun run;
    run.timestamp = "2024-05-01T09:30:00Z";
    run.settings = manifestSettings(BatesConfig{});
    run.documents.push_back(
        {"/in/a \"q\".pdf", "/out/ABC000001.pdf", 3, 1, 3, "ABC000001", "ABC000003"});
    run.documents.push_back({"/in/b.png", "/out/ABC000004.pdf", 1, 4, 4, "ABC000004", "ABC000004"});
    run.begin = 1;
    run.end = 4;
    m.runs.push_back(run);
    m.sources["/in/b.png"] = "ABC000004";
    m.nextNumber = 5;

    const std::string text = encodeManifest(m);
    EXPECT_EQ(text.rfind("{\n  \"assigned\": [", 0), 0u) << text;  // pretty, sorted keys
    EXPECT_LT(text.find("\"nextNumber\""), text.find("\"runs\""));
    auto back = decodeManifest(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->tool, "Corvello Bates");
    EXPECT_EQ(back->schema, 1);
    EXPECT_EQ(back->nextNumber, 5);
    ASSERT_EQ(back->runs.size(), 1u);
    EXPECT_EQ(back->runs[0].documents[1].output, "/out/ABC000004.pdf");
    EXPECT_EQ(back->runs[0].settings.position, "bottomRight");
    EXPECT_EQ(encodeManifest(*back), text);

    EXPECT_EQ(loadFileCsv(m),
              "BegBates,EndBates,Pages,OriginalFile,StampedFile\n"
              "ABC000001,ABC000003,3,\"a \"\"q\"\".pdf\",\"ABC000001.pdf\"\n"
              "ABC000004,ABC000004,1,\"b.png\",\"ABC000004.pdf\"\n");

    ASSERT_TRUE(writeFileAtomic(dir / kManifestName, "{\"assigned\": [{\"begin\": \"x\"}]}"));
    EXPECT_TRUE(manifestUnreadable(dir.path()));
    Manifest fresh = loadManifest(dir.path());
    EXPECT_TRUE(fresh.assigned.empty());
    EXPECT_EQ(fresh.nextNumber, 1);
}
