// `cvl scan` as the user runs it: cvl hands a direct scan of PDFs to this program beside it,
// which links the PDF reader and the scan alone (about twenty shared libraries where cvl-full
// loads a hundred), so a scan of a few PDFs does not wait for the recognition, speech and
// network libraries to load.
#include <cstring>
#include <string>
#include <vector>

#include "search/CvlSearchCommands.h"

int main(int argc, char** argv) {
    // cvl starts it with its own arguments: `scan` and the scan's.
    const int first = argc > 1 && std::strcmp(argv[1], "scan") == 0 ? 2 : 1;
    return cvl::cvlScanMain(std::vector<std::string>(argv + first, argv + argc));
}
