// libFuzzer target: arbitrary bytes into the command grammar and rewrite acceptance. Any crash,
// sanitizer report or hang is a fault.
//
// Input layout: byte 0 page count (0…255), byte 1 current page (signed), byte 2 selection
// size; then that many selected pages; then the typed text, an optional NUL, and the phrase.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "pagecmd/PageCommandParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int pages = data[0];
    const int current = static_cast<int8_t>(data[1]);
    std::size_t at = 3;
    std::vector<int> selection;
    for (std::size_t i = 0; i < data[2] && at < size; ++i, ++at)
        selection.push_back(static_cast<int8_t>(data[at]));
    const std::string_view rest(reinterpret_cast<const char*>(data) + at, size - at);
    const std::size_t nul = rest.find('\0');
    const std::string_view typed = rest.substr(0, nul);
    const std::string_view phrase = nul == std::string_view::npos ? rest : rest.substr(nul + 1);

    const auto parsed = cvl::PageCommandParser::parse(typed, pages, current, selection);
    if (parsed.isCommand()) {
        // A command's own phrase must read back as the same command.
        const auto again = cvl::PageCommandParser::parse(parsed.command.phrase(), pages, 1, {});
        if (!(again.isCommand() && again.command == parsed.command)) __builtin_trap();
    }
    cvl::PageCommandParser::acceptRewrite(typed, phrase, pages, current, selection);
    cvl::PageCommandParser::familiesIn(typed);
    cvl::PageCommandParser::typedNumbers(typed);
    return 0;
}
