// The PDF-bytes and page-image schemes: parameters, answers, errors, the document cache and
// requests stopped by the web view.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>

#include "platform/TextEscape.h"
#include "support/TempHome.h"
#include "window/SchemeHandlers.h"

namespace cvl {
namespace {

// Documents that record how they were drawn; the page count is the file's first byte.
struct FakeDoc : RenderableDocument {
    int pages = 1;
    double width = 612;
    mutable std::vector<std::pair<int, double>> drawn;
    bool failDraw = false;
    int pageCount() const override { return pages; }
    double cropBoxWidth(int) const override { return width; }
    std::optional<std::string> renderCropBoxPNG(int index, double scale) const override {
        drawn.emplace_back(index, scale);
        if (failDraw) return std::nullopt;
        return std::string("\x89PNG-") + std::to_string(index);
    }
};

struct Opener {
    std::atomic<int> opens{0};
    std::shared_ptr<FakeDoc> last;
    DocumentOpener fn() {
        return [this](const std::string& path) -> std::shared_ptr<RenderableDocument> {
            std::ifstream in(path);
            char c = 0;
            if (!in.get(c) || c < '0' || c > '9') return nullptr;
            ++opens;
            last = std::make_shared<FakeDoc>();
            last->pages = c - '0';
            return last;
        };
    }
};

// Runs queued work when the test says so.
class HeldQueue : public Dispatch::Queue {
  public:
    std::vector<Dispatch::Task> tasks;
    void async(Dispatch::Task t) override { tasks.push_back(std::move(t)); }
    void asyncAfter(Dispatch::Millis, Dispatch::Task t) override { tasks.push_back(std::move(t)); }
    void runAll() {
        auto run = std::move(tasks);
        tasks.clear();
        for (auto& t : run) t();
    }
};

std::string writeDoc(const test::TempHome& home, const std::string& name, const std::string& body) {
    const std::string path = home / name;
    std::ofstream(path) << body;
    return path;
}

std::string pageURL(const std::string& path, const std::string& extra = "") {
    return "vtpage://x/y?p=" + percentEncode(path) + extra;
}

TEST(PdfBytesScheme, AnswersTheFileWithItsHeaders) {
    test::TempHome home;
    const std::string path = writeDoc(home, "a b.pdf", "%PDF-1.4 body");
    SchemeResponse r = servePdfBytes("vtpdf://ignored/path?p=" + percentEncode(path));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.body, "%PDF-1.4 body");
    auto h = r.headers("file://");
    ASSERT_EQ(h.size(), 4u);
    EXPECT_EQ(h[0], (std::pair<std::string, std::string>{"Content-Type", "application/pdf"}));
    EXPECT_EQ(h[1].second, "13");
    EXPECT_EQ(h[2], (std::pair<std::string, std::string>{"Cache-Control", "no-store"}));
    // Only the asking origin may read it, never any origin.
    EXPECT_EQ(h[3],
              (std::pair<std::string, std::string>{"Access-Control-Allow-Origin", "file://"}));
    EXPECT_EQ(r.headers().size(), 3u);
    EXPECT_EQ(servePdfBytes("vtpdf://x").errorCode, 1);
    EXPECT_EQ(servePdfBytes("vtpdf://x?p=").errorCode, 1);
    EXPECT_EQ(servePdfBytes("vtpdf://x?p=%2Fnowhere.pdf").errorCode, 1);
}

TEST(PageImageScheme, ParametersAndScale) {
    auto r = parsePageImageRequest("vtpage://?p=%2Fa.pdf");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->index, 0);
    EXPECT_EQ(r->width, 1200);
    EXPECT_EQ(parsePageImageRequest("vtpage://?p=%2Fa.pdf&i=-1&w=300")->index, -1);
    EXPECT_EQ(parsePageImageRequest("vtpage://?p=%2Fa.pdf&i=%2B2")->index, 2);
    EXPECT_FALSE(parsePageImageRequest("vtpage://?i=2"));
    EXPECT_DOUBLE_EQ(pageImageScale(612, 1224), 2.0);
    EXPECT_DOUBLE_EQ(pageImageScale(2000, 1), 0.1);  // never below a tenth
    EXPECT_DOUBLE_EQ(pageImageScale(0, 800), 2.0);
}

TEST(PageImageScheme, RendersThePageOrFailsWithItsCode) {
    test::TempHome home;
    Opener opener;
    PageDocumentCache cache(opener.fn());
    HeldQueue queue;
    auto handler = std::make_shared<PageImageHandler>(cache, queue);
    const std::string three = writeDoc(home, "three.pdf", "3");
    const std::string broken = writeDoc(home, "broken.pdf", "x");
    std::vector<SchemeResponse> answers;
    auto collect = [&](SchemeResponse r) { answers.push_back(std::move(r)); };

    handler->start(1, pageURL(three), collect);
    handler->start(2, pageURL(three, "&i=3"), collect);   // index equal to the page count
    handler->start(3, pageURL(three, "&i=-1"), collect);  // negative index
    handler->start(4, pageURL(broken), collect);          // cannot be opened
    handler->start(5, "vtpage://nothing", collect);       // no "p": answered at once
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].errorCode, 1);
    queue.runAll();
    ASSERT_EQ(answers.size(), 5u);
    ASSERT_TRUE(answers[1].ok());
    EXPECT_EQ(answers[1].contentType, "image/png");
    EXPECT_EQ(answers[1].body, std::string("\x89PNG-0"));
    EXPECT_EQ(answers[1].headers()[0].second, "image/png");
    EXPECT_EQ(answers[2].errorCode, 2);
    EXPECT_EQ(answers[3].errorCode, 2);
    EXPECT_EQ(answers[4].errorCode, 2);
    ASSERT_EQ(opener.last->drawn.size(), 1u);
    EXPECT_DOUBLE_EQ(opener.last->drawn[0].second, 1200.0 / 612.0);

    opener.last->failDraw = true;
    handler->start(6, pageURL(three, "&i=1&w=100"), collect);
    queue.runAll();
    EXPECT_EQ(answers.back().errorCode, 3);
}

TEST(PageImageScheme, AStoppedRequestIsNeverAnswered) {
    test::TempHome home;
    Opener opener;
    PageDocumentCache cache(opener.fn());
    HeldQueue queue;
    auto handler = std::make_shared<PageImageHandler>(cache, queue);
    const std::string doc = writeDoc(home, "a.pdf", "2");
    int answered = 0;
    handler->start(9, pageURL(doc), [&](SchemeResponse) { ++answered; });
    handler->start(10, pageURL(doc, "&i=7"), [&](SchemeResponse) { ++answered; });
    handler->stop(9);
    handler->stop(10);  // also errors are not delivered for a stopped request
    queue.runAll();
    EXPECT_EQ(answered, 0);
}

TEST(PageDocumentCacheTest, ParsesOncePerModificationAndHoldsAtMostSeven) {
    test::TempHome home;
    Opener opener;
    PageDocumentCache cache(opener.fn());
    const std::string a = writeDoc(home, "a.pdf", "1");
    auto first = cache.document(a);
    EXPECT_EQ(cache.document(a), first);
    EXPECT_EQ(opener.opens, 1);

    // Rewriting the file (a different modification time) makes the next request parse it.
    std::ofstream(a) << "4";
    struct timespec times[2] = {{0, UTIME_OMIT}, {1000, 0}};
    ::utimensat(AT_FDCWD, a.c_str(), times, 0);
    auto second = cache.document(a);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->pageCount(), 4);
    EXPECT_EQ(opener.opens, 2);

    for (int i = 2; i <= 7; ++i) cache.document(writeDoc(home, std::to_string(i) + ".pdf", "1"));
    EXPECT_EQ(cache.size(), 7u);
    const std::string eighth = writeDoc(home, "8.pdf", "1");
    cache.document(eighth);
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_TRUE(cache.holds(eighth));
    EXPECT_FALSE(cache.holds(a));

    // A file that cannot be opened leaves the cache as it was.
    cache.document(writeDoc(home, "bad.pdf", "?"));
    EXPECT_EQ(cache.size(), 1u);
}

}  // namespace
}  // namespace cvl
