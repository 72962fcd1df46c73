// Text extraction per format, on small documents made at test time.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/Hashing.h"
#include "search/OcrCache.h"
#include "search/RtfReader.h"
#include "search/SearchFixtures.h"
#include "search/TextExtraction.h"
#include "search/XlsxReader.h"
#include "support/TempHome.h"

using namespace cvl;
using cvl::test::para;
using Chunk = SearchChunk;

namespace {

std::vector<std::string> anchors(const std::vector<Chunk>& chunks) {
    std::vector<std::string> out;
    for (const auto& c : chunks) out.push_back(c.anchor);
    return out;
}

std::vector<std::string> bodies(const std::vector<Chunk>& chunks) {
    std::vector<std::string> out;
    for (const auto& c : chunks) out.push_back(c.body);
    return out;
}

const std::string kWorkbook =
    "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
    "<sheets><sheet name=\"Costs\" sheetId=\"1\" r:id=\"rId7\"/>"
    "<sheet name=\"Notes\" sheetId=\"2\" r:id=\"rId3\"/></sheets></workbook>";

std::string sheetXml(const std::string& cells) {
    return "<worksheet><sheetData><row r=\"1\">" + cells + "</row></sheetData></worksheet>";
}

}  // namespace

TEST(TypeTable, MapsLowerCasedExtensionsAndDefaultsToText) {
    EXPECT_EQ(TextExtraction::typeForExt("doc"), "docx");
    EXPECT_EQ(TextExtraction::typeForExt("markdown"), "md");
    EXPECT_EQ(TextExtraction::typeForExt("csv"), "text");
    EXPECT_EQ(TextExtraction::typeForExt("gslides"), "gslides");
    EXPECT_FALSE(TextExtraction::isIndexableExt("png"));
    EXPECT_FALSE(TextExtraction::isIndexableExt("PDF"));  // callers lower-case first
    EXPECT_EQ(TextExtraction::typeForPath("/x/REPORT.PDF"), "pdf");
    EXPECT_EQ(TextExtraction::typeForPath("/x/notes.weird"), "text");
    EXPECT_EQ(TextExtraction::typeForPath("/x/.hidden"), "text");
}

TEST(Splitter, LineModeCountsBlankLinesAndKeepsLinesVerbatim) {
    auto c = TextExtraction::paragraphChunks("a\n\n\n  b  \n\t\n", "line", "L", true);
    EXPECT_EQ(anchors(c), (std::vector<std::string>{"L1", "L4"}));
    EXPECT_EQ(c[1].body, "  b  ");
    EXPECT_EQ(c[1].atype, "line");
    EXPECT_EQ(c[1].page, 0);
    // CR LF is two line breaks; the line separator ends a line too.
    auto crlf = TextExtraction::paragraphChunks("x\r\ny\u2028z", "line", "L", true);
    EXPECT_EQ(anchors(crlf), (std::vector<std::string>{"L1", "L3", "L4"}));
}

TEST(Splitter, ParagraphModeJoinsLinesAndIgnoresRepeatedBlankLines) {
    auto c = TextExtraction::paragraphChunks("one\ntwo \n\nthree\n\n\n\n four \n", "para", "\u00B6",
                                             false);
    EXPECT_EQ(anchors(c), (std::vector<std::string>{"\u00B61", "\u00B62", "\u00B63"}));
    EXPECT_EQ(bodies(c), (std::vector<std::string>{"one two", "three", "four"}));
}

TEST(PlainText, DecodesUtf8ThenLatin1AndSurvivesBinaryGarbage) {
    test::TempHome home;
    std::string utf = home / "u.txt", latin = home / "l.txt", junk = home / "junk.txt";
    test::writeText(utf, "caf\xC3\xA9\n");
    test::writeText(latin, "caf\xE9 cr\xE8me\n");
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
    test::writeText(junk, garbage);
    EXPECT_EQ(bodies(TextExtraction::plainTextChunks(utf)), std::vector<std::string>{"café"});
    EXPECT_EQ(bodies(TextExtraction::plainTextChunks(latin)),
              std::vector<std::string>{"café crème"});
    for (const auto& c : TextExtraction::plainTextChunks(junk)) {
        nlohmann::json j = c.body;  // every body must be valid UTF-8
        EXPECT_NO_THROW((void)j.dump());
    }
    EXPECT_TRUE(TextExtraction::plainTextChunks(home / "missing.txt").empty());
}

TEST(Word, DocxParagraphsWithEmptyParagraphsTabsAndBreaks) {
    test::TempHome home;
    std::string path = home / "letter.docx";
    std::string body = para("Dear Ms. Ng,") + para("") +
                       "<w:p><w:pPr><w:tabs><w:tab w:val=\"left\" w:pos=\"720\"/></w:tabs></w:pPr>"
                       "<w:r><w:t>Item</w:t></w:r><w:r><w:tab/><w:t>42</w:t></w:r>"
                       "<w:r><w:delText>removed</w:delText></w:r>"
                       "<w:r><w:instrText> PAGE </w:instrText></w:r></w:p>" +
                       para("") + para("") + para("First &amp; last") +
                       "<w:p><w:r><w:t>line one</w:t><w:br/><w:t>line two</w:t></w:r></w:p>";
    ASSERT_TRUE(test::writeDocx(path, body));
    auto c = TextExtraction::wordChunks(path);
    EXPECT_EQ(anchors(c), (std::vector<std::string>{"\u00B61", "\u00B62", "\u00B63"}));
    EXPECT_EQ(bodies(c), (std::vector<std::string>{"Dear Ms. Ng,", "Item\t42",
                                                   "First & last line one line two"}));
    EXPECT_EQ(c[0].atype, "para");
}

TEST(Word, BrokenContainersYieldFewerChunksNotFailures) {
    test::TempHome home;
    // Not a ZIP at all.
    test::writeText(home / "fake.docx", "this is not a zip");
    EXPECT_TRUE(TextExtraction::wordChunks(home / "fake.docx").empty());
    // A ZIP without the document part.
    ASSERT_TRUE(test::writeZip(home / "empty.docx", {{"other.xml", "<x/>"}}));
    EXPECT_TRUE(TextExtraction::wordChunks(home / "empty.docx").empty());
    // Malformed XML keeps the paragraphs read before the error.
    ASSERT_TRUE(test::writeDocx(home / "cut.docx",
                                para("kept") + para("") + para("too") + "<w:p <<" + para("lost")));
    EXPECT_EQ(bodies(TextExtraction::wordChunks(home / "cut.docx")),
              (std::vector<std::string>{"kept", "too"}));
    // A member whose compressed bytes were damaged on disk.
    std::string big;
    for (int i = 0; i < 400; ++i) big += para("paragraph number " + std::to_string(i) + " text");
    ASSERT_TRUE(test::writeDocx(home / "crc.docx", big));
    std::string bytes = readFile(home / "crc.docx").value_or("");
    ASSERT_GT(bytes.size(), 400u);
    for (std::size_t i = 200; i < 260; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    test::writeText(home / "crc.docx", bytes);
    auto damaged = TextExtraction::wordChunks(home / "crc.docx");
    EXPECT_LT(damaged.size(), 400u);
    // A .doc that is really RTF is read as RTF.
    test::writeText(home / "old.doc", "{\\rtf1 Legacy\\par}");
    EXPECT_EQ(bodies(TextExtraction::wordChunks(home / "old.doc")),
              std::vector<std::string>{"Legacy"});
}

TEST(Rtf, EscapesUnicodeAndSkippedDestinations) {
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0"
        "{\\fonttbl{\\f0\\fswiss Helvetica;}{\\f1 Times;}}"
        "{\\colortbl;\\red255\\green0\\blue0;}"
        "{\\*\\generator Writer 1.0;}"
        "{\\info{\\title Secret title}}"
        "\\pard\\f0\\fs24 Caf\\'e9 \\'93quoted\\'94 \\{braces\\} back\\\\slash\\par\n"
        "\\pard\\par\n"
        "Unicode: \\u8364?{\\uc2\\u8212 xx} done \\u-10179?\\u-8704? end\\par\n"
        "{\\pict\\pngblip 89504e470d0a1a0a}"
        "{\\*\\unknowndest hidden}"
        "Tab\\tab sep\\line next\\par}";
    auto text = RtfReader::plainText(rtf);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text,
              "Café “quoted” {braces} back\\slash\n\nUnicode: €— done 😀 end\nTab\tsep\nnext\n");
    EXPECT_FALSE(RtfReader::plainText("plain text, not rtf"));
}

TEST(Rtf, ParagraphsBecomeChunksLikeWord) {
    test::TempHome home;
    test::writeText(home / "memo.rtf",
                    "{\\rtf1\\ansi First para\\par\\par Second\\par\\par\\par Third\\par}");
    auto c = TextExtraction::rtfChunks(home / "memo.rtf");
    EXPECT_EQ(anchors(c), (std::vector<std::string>{"\u00B61", "\u00B62", "\u00B63"}));
    EXPECT_EQ(bodies(c), (std::vector<std::string>{"First para", "Second", "Third"}));
    test::writeText(home / "bad.rtf", "not rtf");
    EXPECT_TRUE(TextExtraction::rtfChunks(home / "bad.rtf").empty());
}

TEST(Spreadsheet, SheetsThroughRelationshipsSharedAndInlineStrings) {
    test::TempHome home;
    std::string path = home / "book.xlsx";
    std::string rels =
        "<Relationships><Relationship Id=\"rId7\" Target=\"worksheets/costs.xml\"/>"
        "<Relationship Id=\"rId3\" Target=\"/xl/worksheets/notes.xml\"/></Relationships>";
    std::string shared =
        "<sst><si><t>Alpha</t></si><si><r><t>Be</t></r><r><t>ta</t></r></si>"
        "<si><t>  padded  </t></si><si><t>x</t></si><si><t>y</t></si></sst>";
    std::string costs = sheetXml(
        "<c r=\"A1\" t=\"s\"><v>1</v></c><c r=\"B1\"><v>3.5</v></c>"
        "<c r=\"C1\" t=\"s\"><v>5</v></c><c r=\"D1\" t=\"s\"><v>-1</v></c>"
        "<c r=\"E1\" t=\"s\"><v>abc</v></c><c r=\"F1\" t=\"s\"><v>+2</v></c>"
        "<c r=\"G1\" t=\"inlineStr\"><is><t>first</t><t>second</t></is></c>"
        "<c r=\"H1\" t=\"str\"><f>A1</f><v>Beta</v></c><c r=\"I1\"><v></v></c>");
    std::string notes = sheetXml("<c r=\"A1\" t=\"s\"><v>0</v></c>");
    ASSERT_TRUE(test::writeZip(path, {{"xl/workbook.xml", kWorkbook},
                                      {"xl/_rels/workbook.xml.rels", rels},
                                      {"xl/sharedStrings.xml", shared},
                                      {"xl/worksheets/costs.xml", costs},
                                      {"xl/worksheets/notes.xml", notes}}));
    auto c = TextExtraction::spreadsheetChunks(path);
    EXPECT_EQ(anchors(c), (std::vector<std::string>{"Costs!A1", "Costs!B1", "Costs!F1", "Costs!G1",
                                                    "Costs!H1", "Notes!A1"}));
    EXPECT_EQ(bodies(c),
              (std::vector<std::string>{"Beta", "3.5", "padded", "first", "Beta", "Alpha"}));
    EXPECT_EQ(c[0].atype, "cell");
}

TEST(Spreadsheet, PositionalSheetsWithoutRelationshipsAndDamagedMembers) {
    test::TempHome home;
    std::string path = home / "plain.xlsx";
    ASSERT_TRUE(test::writeZip(
        path, {{"xl/workbook.xml", kWorkbook},
               {"xl/worksheets/sheet1.xml", sheetXml("<c r=\"A1\"><v>10</v></c>")},
               // The second sheet breaks off: cells before the damage are kept.
               {"xl/worksheets/sheet2.xml",
                "<worksheet><sheetData><row><c r=\"B2\"><v>20</v></c><c r=\"C2\"><v>3"}}));
    auto c = TextExtraction::spreadsheetChunks(path);
    EXPECT_EQ(anchors(c), (std::vector<std::string>{"Costs!A1", "Notes!B2"}));

    // Relationships that match no sheet also fall back to positions.
    ASSERT_TRUE(
        test::writeZip(home / "other.xlsx",
                       {{"xl/workbook.xml", kWorkbook},
                        {"xl/_rels/workbook.xml.rels",
                         "<Relationships><Relationship Id=\"zz\" Target=\"a\"/></Relationships>"},
                        {"xl/worksheets/sheet2.xml", sheetXml("<c r=\"A9\"><v>x</v></c>")}}));
    EXPECT_EQ(anchors(TextExtraction::spreadsheetChunks(home / "other.xlsx")),
              std::vector<std::string>{"Notes!A9"});
    test::writeText(home / "junk.xlsx", std::string(100, '\x01'));
    EXPECT_TRUE(TextExtraction::spreadsheetChunks(home / "junk.xlsx").empty());
}

TEST(Spreadsheet, WorkbookAttributesAndDuplicateRelationships) {
    auto sheets = XlsxReader::parseWorkbook(
        "<workbook><sheets><sheet id=\"a\"/><sheet name=\"N\" relationships:id=\"b\"/></sheets>");
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(sheets[0].name, "Sheet");
    EXPECT_EQ(sheets[0].relId, "a");
    EXPECT_EQ(sheets[1].relId, "b");
    auto rels = XlsxReader::parseRelationships(
        "<Relationships><Relationship Id=\"r\" Target=\"one\"/><Relationship Target=\"x\"/>"
        "<Relationship Id=\"r\" Target=\"two\"/></Relationships>");
    EXPECT_EQ(rels.size(), 2u);  // the one without an Id is ignored
}

TEST(Pointers, AddressFromUrlOrDocIdAndTheNameAsBody) {
    test::TempHome home;
    test::writeText(home / "Budget 2026.gsheet",
                    R"({"url": "https://example.test/s/1", "doc_id": "abc"})");
    test::writeText(home / "Plan.gdoc", R"({"doc_id": "XYZ"})");
    test::writeText(home / "Deck.gslides", "not json");
    auto a = TextExtraction::pointerChunks(home / "Budget 2026.gsheet");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0], (Chunk{"glink", "https://example.test/s/1", 0, "Budget 2026"}));
    auto b = TextExtraction::pointerChunks(home / "Plan.gdoc");
    EXPECT_EQ(b.at(0).anchor, TextExtraction::cloudDocumentAddress("XYZ"));
    EXPECT_NE(b.at(0).anchor.find("XYZ"), std::string::npos);
    auto c = TextExtraction::pointerChunks(home / "Deck.gslides");
    EXPECT_EQ(c.at(0).anchor, "");
    EXPECT_EQ(c.at(0).body, "Deck");
}

TEST(OcrCache, EntriesKeyedByPathTimeAndSize) {
    test::TempHome home;
    std::string pdf = home / "scan.pdf";
    test::writeText(pdf, "%PDF-1.4 fake");
    test::setMtime(pdf, 1700000000);
    auto key = OcrCache::ocrCacheKey(pdf);
    ASSERT_TRUE(key);
    EXPECT_EQ(*key, sha256Hex(pdf + "|1700000000|13"));
    EXPECT_FALSE(OcrCache::ocrCacheKey(home / "missing.pdf"));

    std::string entry = OcrCache::ocrCacheDir() + "/" + *key + ".json";
    test::writeText(entry, R"({"path": "x", "pages": [{"page": 2, "text": "second"},
        {"page": 1, "text": ""}, {"page": "3", "text": "bad"}, {"page": 2, "text": "again"},
        {"page": 4, "text": "four", "conf": 0.9}]})");
    auto pages = OcrCache::ocrCacheRead(pdf);
    ASSERT_TRUE(pages);
    EXPECT_EQ(*pages, (std::map<std::int64_t, std::string>{{2, "again"}, {4, "four"}}));

    test::writeText(entry, R"({"pages": [{"page": 1, "text": ""}]})");
    EXPECT_FALSE(OcrCache::ocrCacheRead(pdf));  // only empty texts: no entry
    test::writeText(entry, R"({"pages": [{"page": 1, "text": "ok"}]})");
    EXPECT_TRUE(OcrCache::ocrCacheRead(pdf));
    test::setMtime(pdf, 1700000001);
    EXPECT_FALSE(OcrCache::ocrCacheRead(pdf));  // a new modification time orphans the entry
}
