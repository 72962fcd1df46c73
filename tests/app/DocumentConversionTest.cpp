// The engine's conversion script, run for real through the host's conversion runs: Word,
// RTF and text documents become PDFs in the working folder's cache, spreadsheets and
// delimited text become grid cells, and the page list and edit probe describe them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>

#include "TestFiles.h"
#include "app/EngineRuns.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/ProcessRunner.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using nlohmann::json;

// Writes Office files with Python's zipfile, as a word processor would lay them out.
constexpr const char* kMakeFixtures = R"PY(
import sys, zipfile
folder = sys.argv[1]
W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'
def run(text, props=''):
    return '<w:r><w:rPr>%s</w:rPr><w:t xml:space="preserve">%s</w:t></w:r>' % (props, text)
def para(content, style=''):
    ppr = '<w:pPr><w:pStyle w:val="%s"/></w:pPr>' % style if style else ''
    return '<w:p>%s%s</w:p>' % (ppr, content)
body = (para(run('Lease Agreement'), 'Heading1')
        + para(run('The tenant ', '') + run('shall pay', '<w:b/>') + run(' monthly.', '<w:i/>'))
        + '<w:p><w:pPr><w:numPr><w:ilvl w:val="0"/><w:numId w:val="1"/></w:numPr></w:pPr>'
        + run('Deposit clause') + '</w:p>'
        + '<w:tbl><w:tr><w:tc>' + para(run('Landlord')) + '</w:tc><w:tc>' + para(run('Tenant'))
        + '</w:tc></w:tr></w:tbl>'
        + '<w:p><w:pPr><w:numPr><w:ilvl w:val="0"/><w:numId w:val="1"/></w:numPr></w:pPr>'
        + run('Notice clause') + '</w:p>'
        + para(run('Term of lease'), 'Clause')
        + '<w:p>' + run('before the break') + '<w:r><w:br w:type="page"/></w:r>'
        + run('zebra clause on page two') + '</w:p>'
        + '<w:p>' + run('Rent is due') + '<w:r><w:footnoteReference w:id="2"/></w:r></w:p>'
        + '<w:p><w:ins w:id="1" w:author="A">' + run('inserted words') + '</w:ins>'
        + '<w:del w:id="2" w:author="A"><w:r><w:delText>removed words</w:delText></w:r></w:del></w:p>')
with zipfile.ZipFile(folder + '/Lease.docx', 'w') as z:
    z.writestr('word/document.xml', '<w:document %s><w:body>%s<w:sectPr><w:pgSz w:w="11906" '
               'w:h="16838"/></w:sectPr></w:body></w:document>' % (W, body))
    z.writestr('word/footnotes.xml', '<w:footnotes %s><w:footnote w:id="2"><w:p><w:r>'
               '<w:footnoteRef/></w:r>%s</w:p></w:footnote></w:footnotes>'
               % (W, run(' On the second day of the month.')))
    z.writestr('word/styles.xml', '<w:styles %s><w:style w:styleId="Heading1"><w:name '
               'w:val="heading 1"/></w:style><w:style w:styleId="Clause"><w:name w:val="heading '
               '2"/><w:pPr><w:numPr><w:numId w:val="1"/></w:numPr></w:pPr></w:style>'
               '</w:styles>' % W)
    z.writestr('word/numbering.xml', '<w:numbering %s><w:abstractNum w:abstractNumId="0"><w:lvl '
               'w:ilvl="0"><w:numFmt w:val="decimal"/></w:lvl></w:abstractNum><w:num w:numId="1">'
               '<w:abstractNumId w:val="0"/></w:num></w:numbering>' % W)
S = 'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
with zipfile.ZipFile(folder + '/Budget.xlsx', 'w') as z:
    z.writestr('xl/workbook.xml', '<workbook %s xmlns:r="http://schemas.openxmlformats.org/'
               'officeDocument/2006/relationships"><sheets><sheet name="Costs" r:id="rId1"/>'
               '<sheet name="Notes" r:id="rId2"/></sheets></workbook>' % S)
    z.writestr('xl/_rels/workbook.xml.rels', '<Relationships xmlns="http://schemas.'
               'openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" '
               'Target="worksheets/sheet1.xml"/><Relationship Id="rId2" '
               'Target="/xl/worksheets/notes.xml"/></Relationships>')
    z.writestr('xl/sharedStrings.xml', '<sst %s><si><t>Item</t></si><si><r><t>Rent, </t></r>'
               '<r><t>office</t></r></si></sst>' % S)
    z.writestr('xl/styles.xml', '<styleSheet %s><cellXfs><xf numFmtId="0"/><xf numFmtId="14"/>'
               '<xf numFmtId="9"/></cellXfs></styleSheet>' % S)
    z.writestr('xl/worksheets/sheet1.xml', '<worksheet %s><sheetData><row r="1"><c r="A1" '
               't="s"><v>0</v></c><c r="C1" t="inlineStr"><is><t>Paid</t></is></c></row>'
               '<row r="2"><c r="A2" t="s"><v>1</v></c><c r="B2"><v>1250.5</v></c><c r="C2" '
               't="b"><v>1</v></c><c r="D2" s="1"><v>45000</v></c><c r="E2" s="2"><v>0.25</v>'
               '</c></row></sheetData></worksheet>' % S)
    z.writestr('xl/worksheets/notes.xml', '<worksheet %s><sheetData><row r="3"><c r="B3" '
               't="str"><v>see Costs</v></c></row></sheetData></worksheet>' % S)
)PY";

bool drainUntil(const std::function<bool()>& done) {
    return Dispatch::manualMain()->runUntil(done, std::chrono::seconds(60));
}

class DocumentConversionTest : public testing::Test {
  protected:
    void SetUp() override {
        ::setenv("CVL_RESOURCES", CVL_SOURCE_RESOURCES, 1);
        // The engine's own converter; LibreOffice's has tests of its own below.
        ::setenv("CVL_NO_LIBREOFFICE", "1", 1);
        docs = home / "Client files";
        ASSERT_TRUE(makeDirs(docs));
        ProcessSpec spec;
        spec.program = "/usr/bin/python3";
        spec.args = {"-c", kMakeFixtures, docs};
        ProcessResult r = runProcess(spec);
        ASSERT_EQ(r.exitStatus, 0) << r.err;
    }

    std::optional<std::string> toPDF(const std::string& path) {
        bool done = false;
        std::optional<std::string> pdf;
        EngineRuns::convertToPDF(path, [&](std::optional<std::string> p) {
            pdf = std::move(p);
            done = true;
        });
        EXPECT_TRUE(drainUntil([&] { return done; }));
        return pdf;
    }

    json grid(const std::string& path) {
        bool done = false;
        std::optional<std::string> text;
        EngineRuns::parseGrid(path, [&](std::optional<std::string> g) {
            text = std::move(g);
            done = true;
        });
        EXPECT_TRUE(drainUntil([&] { return done; }));
        return text ? json::parse(*text, nullptr, false) : json();
    }

    static std::string pdfText(const std::string& pdf) {
        ProcessSpec spec;
        spec.program = "/usr/bin/pdftotext";
        spec.args = {pdf, "-"};
        return runProcess(spec).out;
    }

    static int pdfPages(const std::string& pdf) {
        ProcessSpec spec;
        spec.program = "/usr/bin/pdfinfo";
        spec.args = {pdf};
        std::string out = runProcess(spec).out;
        auto at = out.find("Pages:");
        return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 6);
    }

    // The cache holds converted PDFs and their records, and nothing half-written.
    static void expectOnlyCopiesAndRecords() {
        for (const auto& e :
             std::filesystem::directory_iterator(UserDirs::archiveDir() + "/.converted")) {
            const std::string name = e.path().filename().string();
            const bool record =
                name.size() > 9 && name.compare(name.size() - 9, 9, ".pdf.json") == 0;
            EXPECT_TRUE(e.path().extension() == ".pdf" || record) << e.path();
        }
    }

    static json recordOf(const std::string& pdf) {
        auto text = readFile(pdf + ".json");
        return text ? json::parse(*text, nullptr, false) : json();
    }

    std::set<std::string> folderEntries() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(docs))
            names.insert(e.path().filename().string());
        return names;
    }

    test::TempHome home;
    std::string docs;
};

TEST_F(DocumentConversionTest, WordDocumentsBecomeCachedPDFsOutsideTheDocumentsFolder) {
    const auto before = folderEntries();
    const std::string docx = docs + "/Lease.docx";
    auto pdf = toPDF(docx);
    ASSERT_TRUE(pdf);
    EXPECT_EQ(pdf->rfind(UserDirs::archiveDir() + "/.converted/", 0), 0u) << *pdf;
    const std::string text = pdfText(*pdf);
    // Word's numbering goes on after the table that interrupts it, and into a numbered heading.
    for (const char* words :
         {"Lease Agreement", "The tenant shall pay monthly.", "1. Deposit clause",
          "2. Notice clause", "3. Term of lease", "Landlord", "Tenant", "zebra clause on page two",
          "inserted words", "Rent is due1", "1 On the second day of the month."})
        EXPECT_NE(text.find(words), std::string::npos) << words << " in\n" << text;
    EXPECT_EQ(text.find("removed words"), std::string::npos);  // a tracked deletion
    EXPECT_EQ(pdfPages(*pdf), 2);                              // the page break holds
    EXPECT_EQ(folderEntries(), before);                        // nothing beside the document
    // The copy's record names its source, for page commands that write beside it.
    EXPECT_EQ(recordOf(*pdf)["source"], docx);
    EXPECT_EQ(recordOf(*pdf)["converter"], "own");

    // The same file is converted once; a changed file gets a new PDF.
    EXPECT_EQ(toPDF(docx), pdf);
    std::filesystem::last_write_time(
        docx, std::filesystem::last_write_time(docx) + std::chrono::seconds(5));
    auto again = toPDF(docx);
    ASSERT_TRUE(again);
    EXPECT_NE(*again, *pdf);

    // Its page list names the converted PDF through page-image addresses.
    bool done = false;
    json pages;
    EngineRuns::renderFilePages(docx, [&](std::string p) {
        pages = json::parse(p, nullptr, false);
        done = true;
    });
    ASSERT_TRUE(drainUntil([&] { return done; }));
    ASSERT_EQ(pages["pages"].size(), 2u) << pages.dump();
    EXPECT_EQ(pages["needs_converter"], false);
    const std::string img = pages["pages"][1]["img"];
    EXPECT_EQ(img.rfind("vtpage://page?", 0), 0u) << img;
    EXPECT_EQ(urlQuery(img, "p"), *again);
    EXPECT_EQ(urlQuery(img, "i"), "1");
    EXPECT_GT(pages["pages"][1]["h"].get<int>(), pages["pages"][1]["w"].get<int>());

    // The edit probe is honest: no editor, and the tracked changes are named.
    done = false;
    std::optional<std::string> probe;
    EngineRuns::editProbe(docx, [&](std::optional<std::string> p) {
        probe = std::move(p);
        done = true;
    });
    ASSERT_TRUE(drainUntil([&] { return done; }));
    ASSERT_TRUE(probe);
    json state = json::parse(*probe);
    EXPECT_EQ(state["editable"], false);
    EXPECT_NE(state["why"].dump().find("tracked changes"), std::string::npos) << *probe;
    // The exchange files are gone and no work folder is left in the cache.
    for (const auto& e : std::filesystem::directory_iterator(UserDirs::archiveDir()))
        EXPECT_EQ(e.path().filename().string().rfind(".tmp", 0), std::string::npos);
    expectOnlyCopiesAndRecords();
}

TEST_F(DocumentConversionTest, RtfTextAndMarkdownKeepTheirCharacters) {
    const std::string rtf = docs + "/Letter.rtf";
    ASSERT_TRUE(test::putFile(
        rtf,
        "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Hidden Font Name;}}{\\colortbl;\\red0\\green0"
        "\\blue0;}{\\info{\\title Hidden Title}}{\\*\\generator Hidden Generator;}\\pard "
        "Caf\\'e9 and na\\u239?ve \\b bold\\b0  text\\par Price \\u8364? 40\\line next line\\par "
        "{\\pict\\pngblip 89504e47}Smile \\uc2\\u55357\\u56832?? end\\par}"));
    auto pdf = toPDF(rtf);
    ASSERT_TRUE(pdf);
    const std::string text = pdfText(*pdf);
    for (const char* words : {"Café and naïve bold text", "Price € 40", "next line", "Smile"})
        EXPECT_NE(text.find(words), std::string::npos) << words << " in\n" << text;
    for (const char* hidden : {"Hidden", "89504e47", "??"})
        EXPECT_EQ(text.find(hidden), std::string::npos) << hidden << " in\n" << text;

    const std::string txt = docs + "/notes.txt";
    ASSERT_TRUE(test::putFile(txt, "First line\nL\xefne two in Latin-1\n"));
    auto txtPdf = toPDF(txt);
    ASSERT_TRUE(txtPdf);
    EXPECT_NE(pdfText(*txtPdf).find("Lïne two in Latin-1"), std::string::npos);

    const std::string md = docs + "/README.md";
    ASSERT_TRUE(test::putFile(md,
                              "# Heading\n\nSome **strong** words.\n\n- alpha\n- beta\n\n"
                              "```\nraw <code> & more\n```\n"));
    auto mdPdf = toPDF(md);
    ASSERT_TRUE(mdPdf);
    const std::string mdText = pdfText(*mdPdf);
    for (const char* words :
         {"Heading", "Some strong words.", "alpha", "beta", "raw <code> & more"})
        EXPECT_NE(mdText.find(words), std::string::npos) << words << " in\n" << mdText;
    EXPECT_EQ(mdText.find("**"), std::string::npos);

    // A damaged document gives no PDF and leaves nothing half-written.
    const std::string bad = docs + "/Broken.docx";
    ASSERT_TRUE(test::putFile(bad, "PK\x03\x04 not really a zip"));
    EXPECT_FALSE(toPDF(bad));
    expectOnlyCopiesAndRecords();
}

TEST_F(DocumentConversionTest, SpreadsheetsAndDelimitedTextBecomeGridCells) {
    json book = grid(docs + "/Budget.xlsx");
    ASSERT_TRUE(book.contains("sheets")) << book.dump();
    ASSERT_EQ(book["sheets"].size(), 2u);
    const json& costs = book["sheets"][0];
    EXPECT_EQ(costs["name"], "Costs");
    EXPECT_EQ(costs["truncated"], false);
    EXPECT_EQ(costs["rows"][0], json({"Item", "", "Paid", "", ""}));
    EXPECT_EQ(costs["rows"][1], json({"Rent, office", "1250.5", "TRUE", "2023-03-15", "25%"}));
    const json& notes = book["sheets"][1];
    EXPECT_EQ(notes["name"], "Notes");
    EXPECT_EQ(notes["rows"][2][1], "see Costs");

    const std::string csv = docs + "/payments.csv";
    ASSERT_TRUE(test::putFile(csv,
                              "name,amount,memo\r\n\"Smith, John\",12.50,\"said \"\"hi\"\"\"\r\n"
                              "M\xfcller,3,\r\n"));
    json table = grid(csv);
    ASSERT_TRUE(table.contains("sheets")) << table.dump();
    EXPECT_EQ(table["sheets"][0]["rows"], json({{"name", "amount", "memo"},
                                                {"Smith, John", "12.50", "said \"hi\""},
                                                {"Müller", "3", ""}}));

    const std::string tsv = docs + "/list.tsv";
    ASSERT_TRUE(test::putFile(tsv, "a, b\tc\n1\t2\n"));
    EXPECT_EQ(grid(tsv)["sheets"][0]["rows"],
              json::array({json::array({"a, b", "c"}), json::array({"1", "2"})}));

    // Long files are cut to what the page can hold, and say how long they really are.
    std::string lines = "n,square\n";
    for (int i = 1; i <= 10050; ++i)
        lines += std::to_string(i) + "," + std::to_string(i * i) + "\n";
    ASSERT_TRUE(test::putFile(docs + "/long.csv", lines));
    json longSheet = grid(docs + "/long.csv")["sheets"][0];
    EXPECT_EQ(longSheet["truncated"], true);
    EXPECT_EQ(longSheet["total_rows"], 10051);
    ASSERT_EQ(longSheet["rows"].size(), 10000u);
    EXPECT_EQ(longSheet["rows"][9999], json({"9999", "99980001"}));

    // Formats that cannot be read say so instead of showing an empty table.
    ASSERT_TRUE(
        test::putFile(docs + "/old.xls", std::string("\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8)));
    json old = grid(docs + "/old.xls");
    EXPECT_FALSE(old.contains("sheets"));
    EXPECT_NE(old["error"].get<std::string>().find(".xlsx"), std::string::npos) << old.dump();
    // Bank and accounting exports are often HTML tables saved under .xls.
    ASSERT_TRUE(test::putFile(docs + "/statement.xls",
                              "<html><body><table><tr><th>Date</th><th>Amount</th></tr>"
                              "<tr><td>2024-01-02</td><td>1,200.00 &amp; fee</td></tr>"
                              "</table></body></html>"));
    EXPECT_EQ(grid(docs + "/statement.xls")["sheets"][0]["rows"],
              json::array({json::array({"Date", "Amount"}),
                           json::array({"2024-01-02", "1,200.00 & fee"})}));
    ASSERT_TRUE(test::putFile(docs + "/damaged.xlsx", "not a workbook"));
    EXPECT_FALSE(grid(docs + "/damaged.xlsx")["error"].get<std::string>().empty());
}

// A Word document with a header and a ruled table, as a word processor writes one.
constexpr const char* kMakeHeaderDocx = R"PY(
import sys, zipfile
W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" ' \
    'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
R = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'
def p(text): return '<w:p><w:r><w:t xml:space="preserve">%s</w:t></w:r></w:p>' % text
borders = ''.join('<w:%s w:val="single" w:sz="4"/>' % b
                  for b in ('top', 'left', 'bottom', 'right', 'insideH', 'insideV'))
table = ('<w:tbl><w:tblPr><w:tblBorders>%s</w:tblBorders></w:tblPr><w:tr><w:tc>%s</w:tc>'
         '<w:tc>%s</w:tc></w:tr></w:tbl>' % (borders, p('Landlord cell'), p('Tenant cell')))
body = p('Lease body text') + table + p('After the table') + \
    '<w:sectPr><w:headerReference w:type="default" r:id="rIdH"/></w:sectPr>'
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.writestr('[Content_Types].xml', '<Types xmlns="http://schemas.openxmlformats.org/package/'
               '2006/content-types"><Default Extension="rels" ContentType="application/vnd.'
               'openxmlformats-package.relationships+xml"/><Default Extension="xml" '
               'ContentType="application/xml"/><Override PartName="/word/document.xml" '
               'ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.'
               'document.main+xml"/><Override PartName="/word/header1.xml" ContentType='
               '"application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml"/>'
               '</Types>')
    z.writestr('_rels/.rels', '<Relationships xmlns="http://schemas.openxmlformats.org/package/'
               '2006/relationships"><Relationship Id="rId1" Type="%s/officeDocument" '
               'Target="word/document.xml"/></Relationships>' % R)
    z.writestr('word/_rels/document.xml.rels', '<Relationships xmlns="http://schemas.'
               'openxmlformats.org/package/2006/relationships"><Relationship Id="rIdH" '
               'Type="%s/header" Target="header1.xml"/></Relationships>' % R)
    z.writestr('word/header1.xml', '<w:hdr %s>%s</w:hdr>' % (W, p('Confidential header line')))
    z.writestr('word/document.xml', '<w:document %s><w:body>%s</w:body></w:document>' % (W, body))
)PY";

// LibreOffice's converter, when it is installed, for Word, RTF and OpenDocument text; the
// engine's own converter stays the fallback.
class LibreOfficeConversionTest : public DocumentConversionTest {
  protected:
    void SetUp() override {
        DocumentConversionTest::SetUp();
        ::unsetenv("CVL_NO_LIBREOFFICE");
        docx = docs + "/Header.docx";
        ProcessSpec spec;
        spec.program = "/usr/bin/python3";
        spec.args = {"-c", kMakeHeaderDocx, docx};
        ASSERT_EQ(runProcess(spec).exitStatus, 0);
    }
    void TearDown() override {
        ::unsetenv("CVL_SOFFICE");
        ::unsetenv("CVL_SOFFICE_TIMEOUT");
    }
    // No process of this test's HOME is left running (LibreOffice names its profile there).
    bool nothingLeftRunning() const {
        ProcessSpec spec;
        spec.program = "/usr/bin/pgrep";
        spec.args = {"-f", home.path()};
        return runProcess(spec).out.empty();
    }
    std::string docx;
};

TEST_F(LibreOfficeConversionTest, KeepsTheHeaderAndTheTableAndLeavesNothingBehind) {
    ProcessSpec which;
    which.program = "/bin/sh";
    which.args = {"-c", "command -v soffice"};
    if (!runProcess(which).succeeded()) GTEST_SKIP() << "LibreOffice is not installed";
    const auto before = folderEntries();
    auto pdf = toPDF(docx);
    ASSERT_TRUE(pdf);
    EXPECT_EQ(recordOf(*pdf)["converter"], "libreoffice");
    const std::string text = pdfText(*pdf);
    for (const char* words :
         {"Confidential header line", "Lease body text", "Landlord cell", "Tenant cell"})
        EXPECT_NE(text.find(words), std::string::npos) << words << " in\n" << text;
    EXPECT_EQ(folderEntries(), before);  // no lock file beside the document
    EXPECT_TRUE(nothingLeftRunning());
    expectOnlyCopiesAndRecords();
}

TEST_F(LibreOfficeConversionTest, AHangingOrFailingConverterFallsBackWithoutStrays) {
    // A stand-in that leaves a child behind and never finishes; each run logs its profile.
    const std::string fake = home / "fake-soffice";
    ASSERT_TRUE(test::putFile(fake,
                              "#!/bin/sh\n"
                              "for a; do case \"$a\" in -env:*) echo \"$a\" >> \"$0.log\";; "
                              "esac; done\n"
                              "sleep 600 &\n"
                              "echo $! >> \"$0.pids\"\n"
                              "exec sleep 600\n",
                              true));
    ::setenv("CVL_SOFFICE", fake.c_str(), 1);
    ::setenv("CVL_SOFFICE_TIMEOUT", "3", 1);
    const std::string second = docs + "/Second.docx";
    std::filesystem::copy_file(docx, second);
    // Two conversions at once.
    int done = 0;
    std::optional<std::string> a, b;
    EngineRuns::convertToPDF(docx, [&](std::optional<std::string> p) { a = p, ++done; });
    EngineRuns::convertToPDF(second, [&](std::optional<std::string> p) { b = p, ++done; });
    ASSERT_TRUE(drainUntil([&] { return done == 2; }));
    ASSERT_TRUE(a && b);
    for (const auto& pdf : {*a, *b}) {
        EXPECT_EQ(recordOf(pdf)["converter"], "own (LibreOffice failed)");
        EXPECT_NE(pdfText(pdf).find("Landlord cell"), std::string::npos);
    }
    auto log = readFile(fake + ".log");
    ASSERT_TRUE(log);
    const auto split = log->find('\n');
    ASSERT_NE(split, std::string::npos);
    EXPECT_NE(log->substr(0, split), log->substr(split + 1, log->find('\n', split + 1) - split - 1))
        << "each conversion has its own profile:\n"
        << *log;
    // The children the stand-in left behind were ended with it.
    auto pids = readFile(fake + ".pids");
    ASSERT_TRUE(pids);
    std::istringstream list(*pids);
    int count = 0;
    for (std::string pid; list >> pid; ++count) {
        auto stat = readFile("/proc/" + pid + "/stat");
        const bool running = stat && stat->find(") Z") == std::string::npos;
        EXPECT_FALSE(running) << "process " << pid << " was left running";
    }
    EXPECT_EQ(count, 2);
}

}  // namespace
}  // namespace cvl
