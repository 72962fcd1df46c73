// libFuzzer target: the spreadsheet reader. The bytes are read both as an .xlsx container and as
// each of the parts it reads (workbook, relationships, shared strings, sheet), since mutated
// containers rarely get past the ZIP checks. Any crash, sanitizer report or hang is a fault.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "search/TextExtraction.h"
#include "search/XlsxReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto bytes = cvl::fuzz::bytesOf(data, size);
    (void)cvl::XlsxReader::parseWorkbook(bytes);
    (void)cvl::XlsxReader::parseRelationships(bytes);
    const auto shared = cvl::XlsxReader::parseSharedStrings(bytes);
    (void)cvl::XlsxReader::parseSheet(bytes, shared);
    (void)cvl::TextExtraction::spreadsheetChunks(cvl::fuzz::writeScratch("in.xlsx", bytes));
    return 0;
}
