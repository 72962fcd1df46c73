// Documents made at test time: scanned pages drawn from known text and stored as images only,
// as a scanner would produce them, and a fixture that writes documents into its own HOME.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/PdfFixtures.h"
#include "support/TempHome.h"

namespace cvl::test {

// Each page of `doc` drawn at `dpi` and stored as an image page of the same size, without text.
inline PdfDocument scanOf(const PdfDocument& doc, double dpi = 200) {
    PdfDocument out;
    for (int i = 0; i < doc.pageCount(); ++i) {
        auto bitmap = renderPageImage(doc, i, dpi / 72.0, PdfBox::media);
        auto png = bitmap ? encodePng(*bitmap) : std::nullopt;
        if (png) out.insertImagePage(out.pageCount(), *png);
    }
    return out;
}

// A page of the given size showing the lines (Helvetica, from the top-left margin of 72 points).
inline PdfDocument textPages(const std::vector<std::vector<std::string>>& pages,
                             const PdfRect& size = kLetter, double fontSize = 14) {
    PdfDocument doc;
    for (const auto& lines : pages) doc.insertTextPage(doc.pageCount(), size, lines, fontSize);
    return doc;
}

// A test with a HOME of its own, where it writes its documents.
class PdfFilesTest : public ::testing::Test {
  protected:
    TempHome home;
    std::string write(const std::string& name, const PdfDocument& doc) {
        std::string path = home / name;
        EXPECT_TRUE(writePdf(doc, path));
        return path;
    }
};

}  // namespace cvl::test
