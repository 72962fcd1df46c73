#include "memory/HistoryStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "memory/HistoryOperations.h"
#include "memory/HistoryPage.h"
#include "platform/FileIO.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// A store over the temporary home whose clock and flush timer the test drives.
class HistoryFixture : public ::testing::Test {
  protected:
    struct Timer {
        std::mutex mutex;
        std::vector<std::pair<std::chrono::milliseconds, HistoryStore::Task>> pending;
        void fireAll() {
            std::vector<std::pair<std::chrono::milliseconds, HistoryStore::Task>> due;
            {
                std::lock_guard lock(mutex);
                due.swap(pending);
            }
            for (auto& [_, task] : due) task();
        }
        size_t count() {
            std::lock_guard lock(mutex);
            return pending.size();
        }
    };

    std::unique_ptr<HistoryStore> makeStore() {
        HistoryStore::Options o;
        o.clock = [this] { return clock.load(); };
        o.scheduleAfter = [t = timer](std::chrono::milliseconds d, HistoryStore::Task task) {
            std::lock_guard lock(t->mutex);
            t->pending.emplace_back(d, std::move(task));
        };
        return std::make_unique<HistoryStore>(std::move(o));
    }

    std::string file(const std::string& name, const std::string& content = "x") {
        std::string p = home / name;
        makeDirs(parentPath(p));
        std::ofstream(p) << content;
        return p;
    }
    std::string supportFile(const std::string& name) {
        return home / ("Library/Application Support/Corvello/" + name);
    }
    json readJson(const std::string& path) {
        auto text = readFile(path);
        return text ? json::parse(*text, nullptr, false) : json();
    }

    test::TempHome home;
    std::atomic<double> clock{1000.0};
    std::shared_ptr<Timer> timer = std::make_shared<Timer>();
};

TEST_F(HistoryFixture, RecordingAgainKeepsFirstAndCountsOpens) {
    auto store = makeStore();
    std::string pdf = file("Docs/Lease.PDF", "12345");
    store->record(pdf, false, "open", 100.0);
    store->record(home.path() + "/Docs/./sub/../Lease.PDF", false, "open", 250.0);
    auto rows = store->all();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].path, pdf);
    EXPECT_EQ(rows[0].name, "Lease.PDF");
    EXPECT_EQ(rows[0].ext, "pdf");
    EXPECT_EQ(rows[0].folder, home.path() + "/Docs");
    EXPECT_EQ(rows[0].size, 5);
    EXPECT_DOUBLE_EQ(rows[0].first, 100.0);
    EXPECT_DOUBLE_EQ(rows[0].last, 250.0);
    EXPECT_EQ(rows[0].count, 2);

    // The file goes away: the known size is kept.
    fs::remove(pdf);
    store->record(pdf, false, "open", 300.0);
    rows = store->all();
    EXPECT_EQ(rows[0].size, 5);
    EXPECT_EQ(rows[0].count, 3);

    // Empty paths are ignored; "~" is expanded.
    store->record("", false);
    store->record("~/Docs", true, "open", 400.0);
    rows = store->all();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].path, home.path() + "/Docs");
    EXPECT_TRUE(rows[0].isDir);
    EXPECT_EQ(rows[0].size, 0);
}

TEST_F(HistoryFixture, ChangesAreWrittenTogetherAfterTheInterval) {
    auto store = makeStore();
    store->record(file("a.pdf"), false, "open", 1.0);
    store->record(file("b.pdf"), false, "open", 2.0);
    store->forget(home / "a.pdf");
    store->record(file("c.pdf"), false, "open", 3.0);
    EXPECT_EQ(store->count(), 2u);  // also waits for the queued records

    ASSERT_EQ(timer->count(), 1u) << "one write for a burst of changes";
    EXPECT_EQ(timer->pending[0].first, HistoryStore::kFlushInterval);
    EXPECT_FALSE(pathExists(supportFile("history.json")));

    clock = 5000.0;
    timer->fireAll();
    store->count();  // the flush hops to the store queue; wait for it
    json doc = readJson(supportFile("history.json"));
    ASSERT_TRUE(doc.is_object());
    EXPECT_EQ(doc["v"], 1);
    EXPECT_DOUBLE_EQ(doc["updated"].get<double>(), 5000.0);
    ASSERT_EQ(doc["rows"].size(), 2u);
    EXPECT_EQ(doc["rows"][0]["name"], "c.pdf");  // most recent first
    EXPECT_EQ(doc["rows"][1]["n"], 1);

    // The next change schedules a new write.
    store->record(home / "b.pdf", false, "open", 9.0);
    store->count();
    EXPECT_EQ(timer->count(), 1u);
}

TEST_F(HistoryFixture, RowsSurviveAReloadAndMissingKeysAreDerived) {
    {
        auto store = makeStore();
        store->record(file("x/one.txt"), false, "open", 10.0);
        store->flushNow();
    }
    makeDirs(parentPath(supportFile("history.json")));
    std::ofstream(supportFile("history.json"))
        << R"({"v":1,"trimmed":7,"rows":[{"path":"/srv/Files/Report.DOCX","last":20},
              {"name":"no path"},{"path":"/srv/b.pdf","n":4,"size":9007199254740993}]})";
    auto store = makeStore();
    auto rows = store->all();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].path, "/srv/Files/Report.DOCX");
    EXPECT_EQ(rows[0].name, "Report.DOCX");
    EXPECT_EQ(rows[0].ext, "docx");
    EXPECT_EQ(rows[0].folder, "/srv/Files");
    EXPECT_EQ(rows[0].count, 1);
    EXPECT_EQ(rows[0].mode, "");
    EXPECT_EQ(rows[1].size, 9007199254740993LL);
    EXPECT_EQ(rows[1].count, 4);
    EXPECT_EQ(store->trimmed(), 7);
}

TEST_F(HistoryFixture, MalformedFilesReadAsEmpty) {
    makeDirs(parentPath(supportFile("history.json")));
    std::ofstream(supportFile("history.json")) << R"({"v":1,"rows":[{"path":"/a"},)";
    std::ofstream(supportFile("favorites.json")) << R"({"not":"an array"})";
    std::ofstream(supportFile("pins.json")) << R"(["/ok", 3])";
    auto store = makeStore();
    EXPECT_EQ(store->count(), 0u);
    EXPECT_TRUE(store->favorites().empty());
    EXPECT_TRUE(store->pinnedPaths().empty());
}

TEST_F(HistoryFixture, InterruptedWriteNeverTruncatesHistory) {
    {
        auto store = makeStore();
        store->record(file("kept.pdf"), false, "open", 10.0);
        store->flushNow();
    }
    // A crash in the middle of the next write leaves a partial temporary file behind.
    std::ofstream(supportFile("history.json.tmp")) << R"({"v":1,"rows":[{"pa)";
    auto store = makeStore();
    ASSERT_EQ(store->count(), 1u);
    store->record(file("new.pdf"), false, "open", 20.0);
    store->flushNow();
    json doc = readJson(supportFile("history.json"));
    ASSERT_TRUE(doc.is_object());
    EXPECT_EQ(doc["rows"].size(), 2u);
    EXPECT_FALSE(pathExists(supportFile("history.json.tmp")));

    // A corrupt history.json is replaced whole by the next write.
    std::ofstream(supportFile("history.json")) << "\x01garbage";
    auto third = makeStore();
    third->record(home / "new.pdf", false, "open", 30.0);
    third->flushNow();
    doc = readJson(supportFile("history.json"));
    ASSERT_TRUE(doc.is_object());
    EXPECT_EQ(doc["rows"].size(), 1u);
}

TEST_F(HistoryFixture, CapDropsTheLeastRecentlyOpenedAndCountsThem) {
    json rows = json::array();
    for (int i = 0; i < 50000; ++i)
        rows.push_back({{"path", "/docs/f" + std::to_string(i) + ".pdf"}, {"last", 100.0 + i}});
    makeDirs(parentPath(supportFile("history.json")));
    std::ofstream(supportFile("history.json"))
        << json{{"v", 1}, {"trimmed", 3}, {"rows", rows}}.dump();

    auto store = makeStore();
    store->record("/docs/new.pdf", false, "open", 1e9);
    EXPECT_EQ(store->count(), 50001u);
    store->flushNow();
    EXPECT_EQ(store->count(), 50000u);
    EXPECT_EQ(store->trimmed(), 4);
    json doc = readJson(supportFile("history.json"));
    EXPECT_EQ(doc["trimmed"], 4);
    ASSERT_EQ(doc["rows"].size(), 50000u);
    EXPECT_EQ(doc["rows"][0]["path"], "/docs/new.pdf");
    EXPECT_EQ(doc["rows"][49999]["path"], "/docs/f1.pdf");  // f0 was the oldest

    // Clearing keeps the counter.
    store->clear();
    store->flushNow();
    EXPECT_EQ(store->count(), 0u);
    EXPECT_EQ(readJson(supportFile("history.json"))["trimmed"], 4);
}

TEST_F(HistoryFixture, ConcurrentRecordingLosesNothing) {
    auto store = makeStore();
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&store, t] {
            for (int i = 0; i < 400; ++i) {
                store->record("/shared/doc" + std::to_string(i) + ".pdf", false);
                store->record("/own/t" + std::to_string(t) + "-" + std::to_string(i) + ".pdf",
                              false);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(store->count(), 400u + 6u * 400u);
    auto rows = store->all();
    for (const auto& r : rows) {
        if (r.path.rfind("/shared/", 0) == 0) {
            EXPECT_EQ(r.count, 6) << r.path;
        }
    }
    store->flushNow();
    auto reread = makeStore();
    EXPECT_EQ(reread->count(), 400u + 6u * 400u);
}

TEST_F(HistoryFixture, FavouritesAndPinsPersistAndJoinThePageDocument) {
    auto store = makeStore();
    std::string here = file("here.pdf");
    std::string gone = file("gone.pdf");
    store->record(here, false, "open", 10.0);
    store->record(gone, false, "open", 20.0);
    fs::remove(gone);

    EXPECT_TRUE(store->toggleFavorite(here));
    EXPECT_TRUE(store->setPinned("/never/opened.pdf", true));
    EXPECT_TRUE(store->togglePinned("/b/second.pdf"));
    EXPECT_FALSE(store->togglePinned("/b/second.pdf"));
    EXPECT_TRUE(store->isFavorite(here));
    EXPECT_FALSE(store->isPinned(here));
    EXPECT_EQ(readJson(supportFile("pins.json")), json::array({"/never/opened.pdf"}));

    json page = json::parse(store->json());
    EXPECT_EQ(page["total"], 2);
    EXPECT_EQ(page["favs"], 1);
    EXPECT_EQ(page["pins"], 1);
    ASSERT_EQ(page["rows"].size(), 3u);
    EXPECT_EQ(page["rows"][0]["path"], gone);
    EXPECT_EQ(page["rows"][0]["gone"], true);
    EXPECT_EQ(page["rows"][1]["fav"], true);
    EXPECT_EQ(page["rows"][1]["gone"], false);
    const json& pinned = page["rows"][2];
    EXPECT_EQ(pinned["path"], "/never/opened.pdf");
    EXPECT_EQ(pinned["n"], 0);
    EXPECT_EQ(pinned["pin"], true);
    EXPECT_EQ(pinned["name"], "opened.pdf");
    EXPECT_EQ(pinned["folder"], "/never");
    EXPECT_EQ(pinned["gone"], true);

    // The limit cuts history rows; a favourite cut off comes back built from its path alone.
    page = json::parse(store->json(1));
    ASSERT_EQ(page["rows"].size(), 3u);
    EXPECT_EQ(page["rows"][0]["path"], gone);
    EXPECT_EQ(page["rows"][2]["path"], here);
    EXPECT_EQ(page["rows"][2]["n"], 0);
    EXPECT_EQ(page["rows"][2]["fav"], true);

    // A second store reads the sets back from disk.
    auto again = makeStore();
    EXPECT_EQ(again->favorites(), std::vector<std::string>{here});
    again->clearPins();
    EXPECT_TRUE(again->pinnedPaths().empty());
    EXPECT_EQ(readJson(supportFile("pins.json")), json::array());
}

TEST_F(HistoryFixture, PageOperationsToggleAndAnswerThePage) {
    auto store = makeStore();
    store->record("/w/a \"q\".pdf", false, "open", 1.0);
    std::vector<std::string> replies;
    auto reply = [&](std::string args) { replies.push_back(std::move(args)); };
    EXPECT_TRUE(runHistoryOperation(*store, "histfav", {"/w/a \"q\".pdf"}, reply));
    EXPECT_TRUE(runHistoryOperation(*store, "histfav", {"/w/a \"q\".pdf"}, reply));
    EXPECT_TRUE(runHistoryOperation(*store, "histpin", {"/w/b.pdf"}, reply));
    EXPECT_EQ(replies,
              (std::vector<std::string>{R"("/w/a \"q\".pdf",true)", R"("/w/a \"q\".pdf",false)",
                                        R"("/w/b.pdf",true)"}));
    EXPECT_TRUE(runHistoryOperation(*store, "histpinclear", {}, reply));
    EXPECT_TRUE(store->pinnedPaths().empty());
    EXPECT_TRUE(runHistoryOperation(*store, "histforget", {"/w/a \"q\".pdf"}, {}));
    EXPECT_EQ(store->count(), 0u);
    EXPECT_FALSE(runHistoryOperation(*store, "histopen", {"/w/b.pdf"}, reply));
}

TEST_F(HistoryFixture, RecentsMigrateOnlyIntoAnEmptyHistory) {
    auto store = makeStore();
    store->migrateRecentsIfNeeded({{"/w/Brief.Pdf", false, 50.0}, {"/w/cases", true, 60.0}});
    auto rows = store->all();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].path, "/w/cases");
    EXPECT_TRUE(rows[0].isDir);
    EXPECT_EQ(rows[1].mode, "recent");
    EXPECT_EQ(rows[1].ext, "pdf");
    EXPECT_DOUBLE_EQ(rows[1].first, 50.0);
    EXPECT_EQ(rows[1].count, 1);

    store->migrateRecentsIfNeeded({{"/w/other.pdf", false, 70.0}});
    EXPECT_EQ(store->count(), 2u);
}

TEST_F(HistoryFixture, HistoryPageIsFilledSafelyOrReplacedByANotice) {
    std::string json = R"({"rows":[{"name":"</script><b>x.pdf","p":"a)"
                       "\u2028"
                       "b"
                       "\u2029"
                       R"("}]})";
    std::string page = HistoryPage::fill(
        "<script>var H=__HISTORY_JSON__;var m='__START_MODE__',l='__OPEN_LAYOUT__',"
        "p='__OPEN_PALETTE__';var again=__HISTORY_JSON__;</script>",
        json, {"pinned", "grid", "dusk"});
    EXPECT_EQ(page.find("</script>"), page.size() - 9) << "only the template's own end tag";
    EXPECT_EQ(page.find("\u2028"), std::string::npos);
    EXPECT_NE(page.find(R"(\u003c/script\u003e\u003cb\u003ex.pdf)"), std::string::npos);
    EXPECT_NE(page.find(R"(a\u2028b\u2029)"), std::string::npos);
    EXPECT_NE(page.find("m='pinned',l='grid',p='dusk'"), std::string::npos);
    EXPECT_EQ(page.find("__HISTORY_JSON__"), std::string::npos);

    std::string tmpl = file("engine/history.html", "<html>__HISTORY_JSON__</html>");
    auto made = HistoryPage::prepare(tmpl, "{}", {});
    ASSERT_TRUE(std::holds_alternative<std::string>(made));
    const std::string& written = std::get<std::string>(made);
    EXPECT_EQ(parentPath(written), home.path() + "/Vizazi Divavo rez Iviruzi");
    EXPECT_EQ(lastPathComponent(written).rfind(".history-", 0), 0u);
    EXPECT_EQ(readFile(written).value_or(""), "<html>{}</html>");

    auto missing = HistoryPage::prepare(home / "engine/nope.html", "{}", {});
    ASSERT_TRUE(std::holds_alternative<HistoryPage::Notice>(missing));
    EXPECT_EQ(std::get<HistoryPage::Notice>(missing).title, "File History is unavailable");
}

TEST_F(HistoryFixture, ShippedHistoryPageCarriesTheStoreDocumentIntoItsScript) {
    auto tmpl = readFile(std::string(CVL_SOURCE_RESOURCES) + "/engine/history.html");
    ASSERT_TRUE(tmpl) << "the history page is part of the engine";
    for (const char* placeholder :
         {"__HISTORY_JSON__", "__START_MODE__", "__OPEN_LAYOUT__", "__OPEN_PALETTE__"})
        EXPECT_NE(tmpl->find(placeholder), std::string::npos) << placeholder;

    auto store = makeStore();
    store->record(file("Cases/</script><img src=x onerror=alert(1)>.pdf"), false);
    store->record(file("Cases/line\u2028sep.pdf"), false);
    store->record(home / "Cases", true);
    store->setPinned(home / "Never opened/Plan.pdf", true);
    const std::string doc = store->json();

    // A page asking for an unknown view or a crafted palette gets the defaults instead.
    auto values = HistoryPage::openingValues("recent';alert(1)//", "grid", "x'};alert(1)//");
    EXPECT_EQ(values.startMode, "recent");
    EXPECT_EQ(values.openLayout, "grid");
    EXPECT_EQ(values.openPalette, "default");
    EXPECT_EQ(HistoryPage::openingValues("pinned", "cards", "forest").openPalette, "forest");

    const std::string page = HistoryPage::fill(*tmpl, doc, values);
    EXPECT_EQ(page.find("__HISTORY_JSON__"), std::string::npos);
    EXPECT_EQ(page.find("__OPEN_PALETTE__"), std::string::npos);
    EXPECT_EQ(page.find("<img src=x"), std::string::npos) << "names never become markup";
    auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count(page, "</script>"), count(*tmpl, "</script>"));
    // The embedded literal is the store's document: the script element holding it parses back
    // to the same rows.
    const std::string marker = "__cvlHistoryData = ";
    size_t at = page.find(marker);
    ASSERT_NE(at, std::string::npos);
    at += marker.size();
    size_t end = page.find("</script>", at);
    ASSERT_NE(end, std::string::npos);
    std::string literal = page.substr(at, end - at);
    literal = literal.substr(0, literal.find(";\n"));
    json embedded = json::parse(literal, nullptr, false);
    ASSERT_FALSE(embedded.is_discarded()) << literal;
    json expected = json::parse(doc);
    EXPECT_EQ(embedded["rows"], expected["rows"]);
    EXPECT_EQ(embedded["rows"].size(), 4u);
    EXPECT_EQ(embedded["pins"], 1);
}

}  // namespace
}  // namespace cvl
