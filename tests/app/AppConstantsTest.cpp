#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "app/AppConstants.h"

namespace cvl {
namespace {

// Reads the warm PDF the way a PDF reader does: startxref -> xref table -> object offsets.
TEST(WarmPDF, CrossReferenceTablePointsAtEachObject) {
    const std::string pdf = makeWarmPDF();
    ASSERT_EQ(pdf.rfind("%PDF-1.4\n", 0), 0u);
    ASSERT_TRUE(pdf.ends_with("\n%%EOF\n"));

    std::smatch m;
    ASSERT_TRUE(std::regex_search(pdf, m, std::regex("startxref\n(\\d+)\n%%EOF\n$")));
    size_t xrefAt = std::stoul(m[1]);
    ASSERT_LT(xrefAt, pdf.size());
    ASSERT_EQ(pdf.compare(xrefAt, 5, "xref\n"), 0) << "startxref does not point at the table";

    std::string table = pdf.substr(xrefAt);
    ASSERT_EQ(table.rfind("xref\n0 4\n0000000000 65535 f \n", 0), 0u);
    std::regex entry("(\\d{10}) 00000 n \n");
    auto it = std::sregex_iterator(table.begin(), table.end(), entry);
    int object = 1;
    for (; it != std::sregex_iterator(); ++it, ++object) {
        size_t offset = std::stoul((*it)[1]);
        std::string header = std::to_string(object) + " 0 obj\n";
        EXPECT_EQ(pdf.compare(offset, header.size(), header), 0)
            << "offset of object " << object << " is " << offset;
    }
    EXPECT_EQ(object, 4) << "three in-use entries expected";
    EXPECT_NE(table.find("trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n"), std::string::npos);
    EXPECT_NE(pdf.find("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>"),
              std::string::npos);
}

TEST(DragMode, ReadsASignedDecimalAndFallsBackToThree) {
    EXPECT_EQ(parseDragMode(std::string_view(" 2\n")), 2);
    EXPECT_EQ(parseDragMode(std::string_view("-1")), -1);
    EXPECT_EQ(parseDragMode(std::string_view("+4")), 4);
    EXPECT_EQ(parseDragMode(std::nullopt), 3);
    EXPECT_EQ(parseDragMode(std::string_view("")), 3);
    EXPECT_EQ(parseDragMode(std::string_view("two")), 3);
    EXPECT_EQ(parseDragMode(std::string_view("1.5")), 3);
    EXPECT_EQ(parseDragMode(std::string_view("-")), 3);
}

}  // namespace
}  // namespace cvl
