// Cell text of .xlsx workbooks: sheets in workbook order, resolved through the workbook's
// relationships (or by position when they cannot be), shared strings, inline strings and
// stored values.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cvl::XlsxReader {

struct SheetRef {
    std::string name;
    std::string relId;
};

struct Cell {
    std::string sheet;
    std::string ref;   // "B7"
    std::string text;  // as stored, untrimmed
};

// Each parser keeps what it collected when the XML is malformed.
std::vector<SheetRef> parseWorkbook(std::string_view xml);
std::vector<std::pair<std::string, std::string>> parseRelationships(std::string_view xml);
std::vector<std::string> parseSharedStrings(std::string_view xml);
std::vector<std::pair<std::string, std::string>> parseSheet(std::string_view xml,
                                                            const std::vector<std::string>& shared);

// Every non-empty cell of every sheet, in sheet order then document order.
std::vector<Cell> cells(const std::string& path);

}  // namespace cvl::XlsxReader
