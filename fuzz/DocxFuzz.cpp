// libFuzzer target: the Word reader. The bytes are read both as a .docx container (libzip) and
// as its main document part (expat), since mutated containers rarely get past the ZIP checks.
// Any crash, sanitizer report or hang is a fault.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "search/TextExtraction.h"
#include "search/WordReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto bytes = cvl::fuzz::bytesOf(data, size);
    (void)cvl::WordReader::documentXmlText(bytes);
    (void)cvl::TextExtraction::wordChunks(cvl::fuzz::writeScratch("in.docx", bytes));
    return 0;
}
