// Inputs for the compare and OCR benchmarks, made from known text so that results can be
// checked: a pair of long documents that differ on some pages, and scanned pages with the
// text they show.
//
//   bench_ops_inputs pair DIR PAGES        DIR/a.pdf, DIR/b.pdf (every 7th page of b changed)
//   bench_ops_inputs scans DIR PAGES DPI PT DIR/scans.pdf (image pages only) and
//                                          DIR/truth-N.txt, the text of page N
#include <cstdio>
#include <string>
#include <vector>

#include "platform/FileIO.h"
#include "support/PdfFixtures.h"

namespace {

using namespace cvl;

const char* kWords[] = {
    "agreement", "the",       "tenant",   "shall",   "pay",      "within",   "thirty",   "days",
    "of",        "notice",    "invoice",  "amount",  "due",      "landlord", "premises", "repair",
    "term",      "renewal",   "written",  "consent", "party",    "parties",  "section",  "schedule",
    "insurance", "liability", "damages",  "deposit", "interest", "rate",     "percent",  "payment",
    "monthly",   "quarter",   "review",   "breach",  "remedy",   "court",    "law",      "state",
    "county",    "address",   "delivery", "goods",   "services", "price",    "total",    "balance",
    "account",   "a",         "and",      "to",      "in",       "for",      "by",       "with"};

// A deterministic page of prose: sentences of 6 to 14 words, numbers now and then.
std::vector<std::string> proseLines(unsigned seed, int lines, std::size_t width) {
    std::uint32_t s = seed * 2654435761u + 7;
    auto next = [&] { return (s = s * 1664525u + 1013904223u) >> 8; };
    std::vector<std::string> out;
    std::string line;
    bool sentenceStart = true;
    int left = 0;
    while (int(out.size()) < lines) {
        if (left == 0) left = 6 + int(next() % 9);
        std::string w = next() % 11 == 0 ? std::to_string(next() % 5000)
                                         : kWords[next() % (sizeof kWords / sizeof *kWords)];
        if (sentenceStart && w[0] >= 'a') w[0] = char(w[0] - 32);
        sentenceStart = false;
        if (--left == 0) {
            w += ".";
            sentenceStart = true;
        } else if (next() % 13 == 0) {
            w += ",";
        }
        if (!line.empty() && line.size() + 1 + w.size() > width) {
            out.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + w;
    }
    return out;
}

int pair(const std::string& dir, int pages) {
    makeDirs(dir);
    PdfDocument a, b;
    for (int i = 0; i < pages; ++i) {
        auto lines = proseLines(unsigned(i), 40, 80);
        a.insertTextPage(i, test::kLetter, lines, 11);
        if (i % 7 == 3) lines[5 + i % 20] = "This line was changed in the second draft.";
        b.insertTextPage(i, test::kLetter, lines, 11);
    }
    return a.saveToFile(dir + "/a.pdf").ok() && b.saveToFile(dir + "/b.pdf").ok() ? 0 : 1;
}

int scans(const std::string& dir, int pages, double dpi, double points) {
    makeDirs(dir);
    PdfDocument scanned;
    for (int i = 0; i < pages; ++i) {
        auto lines =
            proseLines(unsigned(100 + i), int(620 / (points * 1.3)), std::size_t(900 / points));
        PdfDocument text;
        text.insertTextPage(0, test::kLetter, lines, points);
        auto bitmap = renderPageImage(text, 0, dpi / 72.0, PdfBox::media);
        auto png = bitmap ? encodePng(*bitmap) : std::nullopt;
        if (!png || !scanned.insertImagePage(i, *png)) return 1;
        std::string truth;
        for (const auto& l : lines) truth += l + "\n";
        if (!writeFileAtomic(dir + "/truth-" + std::to_string(i + 1) + ".txt", truth).ok())
            return 1;
    }
    return scanned.saveToFile(dir + "/scans.pdf").ok() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() == 3 && a[0] == "pair") return pair(a[1], std::stoi(a[2]));
    if (a.size() == 5 && a[0] == "scans")
        return scans(a[1], std::stoi(a[2]), std::stod(a[3]), std::stod(a[4]));
    std::fprintf(stderr, "usage: bench_ops_inputs pair DIR PAGES | scans DIR PAGES DPI PT\n");
    return 2;
}
