// libFuzzer target: the RTF reader, on its own and as the index reads an .rtf file. Any crash,
// sanitizer report or hang is a fault, and so is text that is not valid UTF-8.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "search/RtfReader.h"
#include "search/TextExtraction.h"
#include "search/UnicodeText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto rtf = cvl::fuzz::bytesOf(data, size);
    if (auto text = cvl::RtfReader::plainText(rtf))
        if (!cvl::UnicodeText::isValidUtf8(*text)) __builtin_trap();
    for (const auto& chunk : cvl::TextExtraction::rtfChunks(cvl::fuzz::writeScratch("in.rtf", rtf)))
        if (!cvl::UnicodeText::isValidUtf8(chunk.body)) __builtin_trap();
    return 0;
}
