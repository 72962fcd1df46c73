// Page tools: results are opened and checked (page content, outline and link targets), and
// written outputs are checked with qpdf and poppler.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "pagecmd/PageTools.h"
#include "platform/FileIO.h"
#include "support/PdfFixtures.h"
#include "support/PdfTools.h"
#include "support/TempHome.h"

using namespace cvl;
using namespace cvl::test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> texts(const PdfDocument& doc) {
    std::vector<std::string> out;
    for (int i = 0; i < doc.pageCount(); ++i) out.push_back(doc.pageText(i).value_or("?"));
    return out;
}

std::vector<std::string> lines(std::initializer_list<int> pages,
                               const std::string& word = "alpha") {
    std::vector<std::string> out;
    for (int n : pages) out.push_back(fixtureLine(n, word));
    return out;
}

// Every outline entry and link with a target must land on a page of the document; and a link
// or entry made for "Page k" content must land on the page now showing that content.
void expectNavigationInside(const PdfDocument& doc) {
    int n = doc.pageCount();
    std::function<void(const std::vector<PdfOutlineItem>&)> walk = [&](const auto& items) {
        for (const auto& item : items) {
            if (item.destination) {
                EXPECT_GE(item.destination->page, 0) << item.title;
                EXPECT_LT(item.destination->page, n) << item.title;
            }
            walk(item.children);
        }
    };
    walk(doc.outline());
    for (int i = 0; i < n; ++i)
        for (const auto& link : doc.links(i))
            if (link.destination) {
                EXPECT_GE(link.destination->page, 0);
                EXPECT_LT(link.destination->page, n);
            }
}

// The titles of the top-level outline entries and the page text each one opens.
std::vector<std::pair<std::string, std::string>> outlineTargets(const PdfDocument& doc) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& item : doc.outline())
        out.emplace_back(item.title, item.destination
                                         ? doc.pageText(item.destination->page).value_or("?")
                                         : std::string("(heading)"));
    return out;
}

std::string checkedFile(const TempHome& home, const PdfDocument& doc, const std::string& name) {
    std::string path = home / name;
    EXPECT_TRUE(writePdf(doc, path));
    std::string report;
    EXPECT_TRUE(qpdfCheckClean(path, &report)) << report;
    return path;
}

}  // namespace

TEST(PageToolsRotate, TurnsListedPagesByQuarterTurnsOnly) {
    PdfDocument doc = makeTextPdf(3);
    auto once = PageTools::rotate(doc, {0, 2}, 270);
    ASSERT_TRUE(once);
    auto twice = PageTools::rotate(*once, {0}, 180);
    ASSERT_TRUE(twice);
    EXPECT_EQ(twice->rotation(0), 90);
    EXPECT_EQ(twice->rotation(1), 0);
    EXPECT_EQ(twice->rotation(2), 270);
    EXPECT_EQ(PageTools::rotate(doc, {1}, -90)->rotation(1), 270);
    EXPECT_EQ(doc.rotation(0), 0);  // the input is untouched

    EXPECT_FALSE(PageTools::rotate(doc, {0}, 45));
    EXPECT_FALSE(PageTools::rotate(doc, {}, 90));
    EXPECT_FALSE(PageTools::rotate(doc, {3}, 90));
}

TEST(PageToolsDelete, RemovesPagesAndTheNavigationThatPointedAtThem) {
    TempHome home;
    PdfDocument doc = makeNavigablePdf(4);
    auto result = PageTools::deletePages(doc, {1});
    ASSERT_TRUE(result);
    EXPECT_EQ(texts(*result), lines({1, 3, 4}));
    EXPECT_EQ(outlineTargets(*result),
              (std::vector<std::pair<std::string, std::string>>{{"Chapter 1", fixtureLine(1)},
                                                                {"Chapter 3", fixtureLine(3)},
                                                                {"Chapter 4", fixtureLine(4)}}));
    // Page 1 linked to the deleted page 2: that link is gone; its named link to page 4 stays.
    auto first = result->links(0);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].namedDestination, "page-4");
    EXPECT_EQ(result->pageText(first[0].destination->page), fixtureLine(4));
    EXPECT_FALSE(result->namedDestination("page-2"));
    expectNavigationInside(*result);
    std::string path = checkedFile(home, *result, "deleted.pdf");
    EXPECT_EQ(popplerPageCount(path), 3);
    EXPECT_EQ(doc.pageCount(), 4);

    EXPECT_FALSE(PageTools::deletePages(doc, {0, 1, 2, 3}));
    EXPECT_FALSE(PageTools::deletePages(doc, {}));
    EXPECT_FALSE(PageTools::deletePages(doc, {4}));
}

TEST(PageToolsExtract, KeepsOnlyNavigationIntoTheKeptPages) {
    PdfDocument doc = makeNavigablePdf(4);
    auto only = PageTools::extract(doc, {2});
    ASSERT_TRUE(only);
    EXPECT_EQ(texts(*only), lines({3}));
    // "Chapter 1" pointed at a removed page and its only child too: both are gone.
    EXPECT_EQ(outlineTargets(*only),
              (std::vector<std::pair<std::string, std::string>>{{"Chapter 3", fixtureLine(3)}}));
    EXPECT_TRUE(only->links(0).empty());  // it linked to page 4

    // With its child's target kept, "Chapter 1" stays as a plain heading.
    auto some = PageTools::extract(doc, {3, 1});
    ASSERT_TRUE(some);
    EXPECT_EQ(texts(*some), lines({4, 2}));
    auto outline = some->outline();
    ASSERT_EQ(outline.size(), 3u);
    EXPECT_EQ(outline[0].title, "Chapter 1");
    EXPECT_FALSE(outline[0].destination);
    ASSERT_EQ(outline[0].children.size(), 1u);
    EXPECT_EQ(some->pageText(outline[0].children[0].destination->page), fixtureLine(4));
    expectNavigationInside(*some);
    EXPECT_FALSE(PageTools::extract(doc, {}));
    EXPECT_FALSE(PageTools::extract(doc, {0, 7}));
}

TEST(PageToolsReorder, LinksAndOutlineFollowTheirPages) {
    TempHome home;
    PdfDocument doc = makeNavigablePdf(5);
    auto result = PageTools::reorder(doc, {4, 2, 0, 1, 3});
    ASSERT_TRUE(result);
    EXPECT_EQ(texts(*result), lines({5, 3, 1, 2, 4}));
    // Every page still links to the page showing the next page's content.
    for (int i = 0; i < 5; ++i) {
        std::string here = result->pageText(i).value();
        int k = std::stoi(here.substr(5));
        auto links = result->links(i);
        ASSERT_FALSE(links.empty());
        EXPECT_EQ(result->pageText(links[0].destination->page), fixtureLine(k % 5 + 1)) << here;
    }
    for (const auto& [title, text] : outlineTargets(*result))
        EXPECT_EQ(title.substr(8), text.substr(5, 1));  // "Chapter n" opens "Page n"
    checkedFile(home, *result, "reordered.pdf");

    EXPECT_FALSE(PageTools::reorder(doc, {0, 1, 2, 3}));
    EXPECT_FALSE(PageTools::reorder(doc, {0, 1, 2, 3, 3}));
    auto moved = PageTools::move(doc, 0, 4);
    ASSERT_TRUE(moved);
    EXPECT_EQ(texts(*moved), lines({2, 3, 4, 5, 1}));
    EXPECT_FALSE(PageTools::move(doc, 0, 5));
}

TEST(PageToolsDuplicate, TheCopyIsASeparatePageObject) {
    TempHome home;
    PdfDocument doc = makeNavigablePdf(3);
    auto result = PageTools::duplicate(doc, 2);
    ASSERT_TRUE(result);
    EXPECT_EQ(texts(*result), lines({1, 2, 3, 3}));
    std::string path = checkedFile(home, *result, "dup.pdf");
    // qpdf lists the object behind each page: four different ones.
    std::string pages = runTool("qpdf", {"--show-pages", path}).out;
    std::set<std::string> objects;
    std::regex pageLine(R"(page \d+: (\d+ \d+ R))");
    for (std::sregex_iterator it(pages.begin(), pages.end(), pageLine), end; it != end; ++it)
        objects.insert((*it)[1]);
    EXPECT_EQ(objects.size(), 4u) << pages;
    // Turning the copy leaves the original as it was, and the copy keeps its link.
    ASSERT_TRUE(result->setRotation(3, 90));
    EXPECT_EQ(result->rotation(2), 0);
    EXPECT_EQ(result->links(3).size(), 1u);
    EXPECT_FALSE(PageTools::duplicate(doc, 3));
}

TEST(PageToolsSplit, PartsFollowTheSortedDistinctPoints) {
    TempHome home;
    PdfDocument doc = makeNavigablePdf(10);
    auto parts = PageTools::split(doc, {7, 3, 3});
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(texts(parts[0]), lines({1, 2, 3}));
    EXPECT_EQ(texts(parts[1]), lines({4, 5, 6, 7}));
    EXPECT_EQ(texts(parts[2]), lines({8, 9, 10}));
    for (size_t i = 0; i < parts.size(); ++i) {
        expectNavigationInside(parts[i]);
        checkedFile(home, parts[i], "part" + std::to_string(i) + ".pdf");
    }
    // Page 7 linked to page 8 in the next part: gone; page 4 still links to page 5.
    EXPECT_TRUE(parts[1].links(3).empty());
    EXPECT_EQ(parts[1].links(0).size(), 1u);

    auto middle = outlineTargets(parts[1]);
    ASSERT_EQ(middle.size(), 4u);
    EXPECT_EQ(middle.front(), std::make_pair(std::string("Chapter 4"), fixtureLine(4)));
    // The last page alone: "Chapter 1" stays only as the heading of its child, which opens it.
    auto last = PageTools::part(doc, {9});
    ASSERT_TRUE(last);
    auto outline = last->outline();
    ASSERT_EQ(outline.size(), 2u);
    EXPECT_EQ(outline[0].title, "Chapter 1");
    EXPECT_FALSE(outline[0].destination);
    ASSERT_EQ(outline[0].children.size(), 1u);
    EXPECT_EQ(outline[0].children[0].destination->page, 0);
    EXPECT_EQ(outline[1].title, "Chapter 10");
    EXPECT_EQ(last->links(0).size(), 0u);  // it linked to page 1, which stayed behind
    EXPECT_FALSE(PageTools::part(doc, {10}));

    EXPECT_TRUE(PageTools::split(doc, {10}).empty());
    EXPECT_TRUE(PageTools::split(doc, {0}).empty());
    EXPECT_TRUE(PageTools::split(makeTextPdf(1), {}).empty());
}

TEST(PageToolsMerge, LaterOutlinesAndLinksLandOnTheCopiedPages) {
    TempHome home;
    PdfDocument a = makeNavigablePdf(3, "alpha");
    PdfDocument b = makeNavigablePdf(2, "beta");
    b.addUriLink(1, PdfRect{300, 300, 400, 320}, "https://example.org/");
    auto merged = PageTools::merge({a, b});
    ASSERT_TRUE(merged);
    std::vector<std::string> expected = lines({1, 2, 3});
    for (auto& t : lines({1, 2}, "beta")) expected.push_back(t);
    EXPECT_EQ(texts(*merged), expected);

    auto targets = outlineTargets(*merged);
    ASSERT_EQ(targets.size(), 5u);
    EXPECT_EQ(targets[3], std::make_pair(std::string("Chapter 1"), fixtureLine(1, "beta")));
    EXPECT_EQ(targets[4], std::make_pair(std::string("Chapter 2"), fixtureLine(2, "beta")));
    auto outline = merged->outline();
    ASSERT_EQ(outline[3].children.size(), 1u);  // "Section 1.1" of b, on b's last page
    EXPECT_EQ(merged->pageText(outline[3].children[0].destination->page), fixtureLine(2, "beta"));

    // b's first page: its link to b's page 2 and its named link to "page-2" of b.
    auto links = merged->links(3);
    ASSERT_EQ(links.size(), 2u);
    for (const auto& link : links)
        EXPECT_EQ(merged->pageText(link.destination->page), fixtureLine(2, "beta"));
    auto last = merged->links(4);
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(merged->pageText(last[0].destination->page), fixtureLine(1, "beta"));
    EXPECT_EQ(last[1].uri, "https://example.org/");
    expectNavigationInside(*merged);
    std::string path = checkedFile(home, *merged, "merged.pdf");
    EXPECT_NE(popplerText(path, 5, 5).find("Page 2 beta"), std::string::npos);

    EXPECT_FALSE(PageTools::merge({}));
    EXPECT_FALSE(PageTools::merge({a, PdfDocument()}));
}

TEST(PageToolsInsert, DocumentsAndBlankPagesGoWhereAsked) {
    PdfDocument doc = makeTextPdf(2);
    auto end = PageTools::insertDocument(doc, makeTextPdf(1, "gamma"), 99);
    ASSERT_TRUE(end);
    EXPECT_EQ(texts(*end),
              (std::vector<std::string>{fixtureLine(1), fixtureLine(2), fixtureLine(1, "gamma")}));
    auto front = PageTools::insertDocument(doc, makeTextPdf(1, "gamma"), 0);
    ASSERT_TRUE(front);
    EXPECT_EQ(front->pageText(0), fixtureLine(1, "gamma"));
    EXPECT_FALSE(PageTools::insertDocument(doc, PdfDocument(), 0));

    ASSERT_TRUE(doc.setPageBox(0, PdfBox::media, PdfRect{0, 0, 400, 500}));
    auto blankFirst = PageTools::insertBlank(doc, -3);
    ASSERT_TRUE(blankFirst);
    EXPECT_EQ(blankFirst->pageCount(), 3);
    EXPECT_EQ(blankFirst->pageText(0), "");
    EXPECT_DOUBLE_EQ(blankFirst->mediaBox(0)->width(), 400);
    auto blankLast = PageTools::insertBlank(doc, 2);
    ASSERT_TRUE(blankLast);
    EXPECT_EQ(blankLast->pageText(2), "");
    EXPECT_DOUBLE_EQ(blankLast->mediaBox(2)->width(), 612);  // copied from page 2
}

TEST(PageToolsLocked, EncryptedInputGivesNoResult) {
    auto locked = PdfDocument::openBytes(makeEncryptedPdfBytes(3, "pw")).value();
    EXPECT_FALSE(PageTools::working(locked));
    EXPECT_FALSE(PageTools::rotate(locked, {0}, 90));
    EXPECT_FALSE(PageTools::extract(locked, {0}));
    EXPECT_TRUE(PageTools::split(locked, {1}).empty());
    EXPECT_FALSE(PageTools::compress(makeEncryptedPdfBytes(3, "pw"), 0.0));
    EXPECT_FALSE(PageTools::compress(std::string(), 0.0));
    EXPECT_FALSE(PageTools::compress(damagedPdfBytes(), 0.0));
}

TEST(PageToolsCompress, ImageHeavyFilesShrinkAndTextStays) {
    TempHome home;
    // Two photo pages stored losslessly at 400 dpi on a 4 x 3 inch page.
    PdfDocument doc = makeImagePdf(2, 1600, 1200);
    for (int i : {0, 2}) ASSERT_TRUE(doc.setPageBox(i, PdfBox::media, PdfRect{0, 0, 288, 216}));
    std::string before = bytesOf(doc);
    auto result = PageTools::compress(before, 0.1);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->before, before.size());
    EXPECT_EQ(result->after, result->bytes.size());
    EXPECT_LT(result->after * 4, result->before);

    std::string path = home / "small.pdf";
    ASSERT_TRUE(writeFileAtomic(path, result->bytes).ok());
    std::string report;
    EXPECT_TRUE(qpdfCheckClean(path, &report)) << report;
    EXPECT_NE(popplerText(path, 2, 2).find("Page 1 alpha"), std::string::npos);
    EXPECT_NE(popplerText(path, 4, 4).find("Page 2 alpha"), std::string::npos);
    // The images are JPEG now, at about 150 dpi over the 4-inch side.
    std::string list = runTool("pdfimages", {"-list", path}).out;
    EXPECT_NE(list.find("jpeg"), std::string::npos) << list;
    EXPECT_NE(list.find(" 600   450"), std::string::npos) << list;

    // What it looks like is kept: the middle of the picture has about the same colour.
    auto reopened = PdfDocument::openBytes(result->bytes).value();
    auto was = renderPageImage(doc, 0, 0.5, PdfBox::media);
    auto now = renderPageImage(reopened, 0, 0.5, PdfBox::media);
    ASSERT_TRUE(was && now);
    ASSERT_EQ(was->pixels.size(), now->pixels.size());
    size_t mid = (size_t(was->height / 2) * size_t(was->width) + size_t(was->width / 2)) * 3;
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(was->pixels[mid + size_t(k)], now->pixels[mid + size_t(k)], 20);
}

TEST(PageToolsCompress, RefusesSavingsBelowTheThreshold) {
    // A compact text document cannot get 10% smaller.
    PdfSaveOptions smallest;
    smallest.deduplicate = true;
    std::string compact = bytesOf(makeTextPdf(5), smallest);
    EXPECT_FALSE(PageTools::compress(compact, 0.1));
    // The threshold is exact: just above the saving there is nothing, just below a result.
    PdfDocument photos = makeImagePdf(1, 400, 300, false);  // 72 dpi: re-encoded, not resized
    std::string bytes = bytesOf(photos);
    auto any = PageTools::compress(bytes, 0.0);
    ASSERT_TRUE(any);
    double saving = 1.0 - double(any->after) / double(any->before);
    ASSERT_GT(saving, 0.02);
    EXPECT_FALSE(PageTools::compress(bytes, saving + 0.01));
    EXPECT_TRUE(PageTools::compress(bytes, saving - 0.01));
}

TEST(PageToolsImages, PagesBecomeImagesAndImagesBecomePages) {
    TempHome home;
    PdfDocument doc = makeTextPdf(2);
    ASSERT_TRUE(doc.setRotation(1, 90));
    auto images = PageTools::pageImages(doc, {0, 1}, 150, false);
    ASSERT_TRUE(images);
    ASSERT_EQ(images->size(), 2u);
    std::vector<std::string> paths;
    for (size_t i = 0; i < 2; ++i) {
        paths.push_back(home / ("p" + std::to_string(i) + ".png"));
        ASSERT_TRUE(writeFileAtomic(paths.back(), (*images)[i]).ok());
    }
    ASSERT_TRUE(writeFileAtomic(home / "junk.png", "not an image").ok());
    paths.insert(paths.begin() + 1, home / "junk.png");
    PdfDocument back = PageTools::imagesToPDF(paths);
    ASSERT_EQ(back.pageCount(), 2);
    // 1275 x 1650 pixels at 150 dpi: a Letter page again; the rotated one comes back landscape.
    EXPECT_NEAR(back.mediaBox(0)->width(), 612, 0.5);
    EXPECT_NEAR(back.mediaBox(0)->height(), 792, 0.5);
    EXPECT_NEAR(back.mediaBox(1)->width(), 792, 0.5);

    auto jpegs = PageTools::pageImages(doc, {1}, 72, true);
    ASSERT_TRUE(jpegs);
    EXPECT_EQ(static_cast<unsigned char>((*jpegs)[0][0]), 0xFF);
    EXPECT_FALSE(PageTools::pageImages(doc, {2}, 150, true));
}

TEST(PageToolsFiles, NewFileBesideCountsUpPastExistingNames) {
    TempHome home;
    fs::create_directories(home / "a");
    std::string src = home / "a/Report.pdf";
    EXPECT_EQ(PageTools::newFileBeside(src, "pages 2-3", "pdf"), home / "a/Report pages 2-3.pdf");
    ASSERT_TRUE(PageTools::writeNew("x", home / "a/Report pages 2-3.pdf"));
    EXPECT_EQ(PageTools::newFileBeside(src, "pages 2-3", "pdf"), home / "a/Report pages 2-3 2.pdf");
    EXPECT_EQ(PageTools::newFileBeside(src, "(split)", ""), home / "a/Report (split)");
    EXPECT_FALSE(PageTools::writeNew("y", home / "a/Report pages 2-3.pdf"));  // never replaces
    EXPECT_EQ(readFile(home / "a/Report pages 2-3.pdf"), "x");
}

TEST(PageToolsFiles, PublishNewIsAllOrNothing) {
    TempHome home;
    auto onlyEntries = [&] {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(home.path())) names.insert(e.path().filename());
        return names;
    };
    using PageTools::NewItem;
    using PageTools::Payload;

    auto made =
        PageTools::publishNew(NewItem::file(home / "new.pdf", Payload::pdf(makeTextPdf(2))));
    ASSERT_TRUE(made.ok()) << made.error();
    EXPECT_EQ(popplerPageCount(home / "new.pdf"), 2);

    // The destination appears while the payload is being produced.
    auto raced =
        PageTools::publishNew(NewItem::file(home / "raced.pdf", Payload::lazyData([&] {
                                                PageTools::writeNew("theirs", home / "raced.pdf");
                                                return std::optional<std::string>("ours");
                                            })));
    ASSERT_FALSE(raced.ok());
    EXPECT_EQ(raced.error(), "A file with the planned name appeared, so nothing was done.");
    EXPECT_EQ(readFile(home / "raced.pdf"), "theirs");

    auto folder = PageTools::publishNew(NewItem::folder(
        home / "parts",
        {{"one.pdf", Payload::pdf(makeTextPdf(1))}, {"two.txt", Payload::data("2")}}));
    ASSERT_TRUE(folder.ok());
    EXPECT_EQ(readFile(home / "parts/two.txt"), "2");
    EXPECT_EQ(popplerPageCount(home / "parts/one.pdf"), 1);

    auto broken = PageTools::publishNew(NewItem::folder(
        home / "broken", {{"one.txt", Payload::data("1")}, {"two.pdf", Payload::lazyPDF([] {
                                                                return std::optional<PdfDocument>();
                                                            })}}));
    ASSERT_FALSE(broken.ok());
    EXPECT_EQ(broken.error(),
              "Corvello couldn\u2019t write every part, so nothing was kept. Your original is "
              "unchanged.");
    auto empty =
        PageTools::publishNew(NewItem::file(home / "empty.pdf", Payload::pdf(PdfDocument())));
    EXPECT_EQ(empty.error(),
              "Corvello couldn\u2019t write the new file. Your original is unchanged.");
    auto nowhere = PageTools::publishNew(NewItem::file(home / "no/such/x.pdf", Payload::data("x")));
    EXPECT_EQ(nowhere.error(),
              "Corvello can\u2019t write in that folder. Your original is unchanged.");

    // Nothing but the finished items and the other writer's file: no staging folders remain.
    EXPECT_EQ(onlyEntries(), (std::set<std::string>{"new.pdf", "raced.pdf", "parts"}));
}
