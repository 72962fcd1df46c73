// cvl: the headless companion of Corvello. Each subcommand prints one JSON document on
// standard output; usage errors exit with status 2.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "agent/CvlLayout.h"
#include "app/Version.h"
#include "operations/CvlBates.h"
#include "operations/CvlCompare.h"
#include "operations/CvlDocumentCommands.h"
#include "operations/CvlDocumentInfo.h"
#include "operations/CvlFiles.h"
#include "operations/CvlOcr.h"
#include "pagecmd/CvlPageCommands.h"
#include "pagecmd/CvlPages.h"
#include "platform/Threads.h"
#include "search/CvlSearchCommands.h"
#include "updates/CvlUpdateCommands.h"
#include "window/CvlSpeech.h"

namespace {

struct CvlCommand {
    const char* name;
    const char* usage;
    const char* summary;
    int (*run)(const std::vector<std::string>& args);
};

// Subcommands, in the order --help lists them.
const CvlCommand kCommands[] = {
    {"index", "index [--db PATH] [--dir D]... [--file F]...",
     "bring the search index in line with the folders and files; prints {changed, files}, or "
     "{error} and exits 1 when the index cannot be written (another program holds it past "
     "the 4 s busy timeout, the disk is full)",
     cvl::cvlIndexMain},
    {"search", cvl::kCvlSearchUsage,
     "search the folders and files, indexing them first when they changed (with --no-refresh, "
     "search the index as it stands); prints the results; when indexing fails, the results of "
     "the index as it stands with indexError, and exits 1",
     cvl::cvlSearchMain},
    {"scan", "scan [--dir D]... [--file F]... QUERY",
     "scan the PDFs of the folders and files directly, without the index; prints the results",
     cvl::cvlScanMain},
    {"text", "text FILE",
     "print the text the index reads from one document (PDF pages, Word and RTF paragraphs, "
     "text lines, sheet cells) as {path, type, chunks: [{atype, anchor, page, text}]}",
     cvl::cvlTextMain},
    {"parse", cvl::kCvlParseUsage,
     "read a typed page command (page count N, current page C, selected pages L); prints the "
     "outcome",
     cvl::cvlParseMain},
    {"accept", cvl::kCvlAcceptUsage,
     "check that PHRASE, a rewrite of what the user TYPED, may be carried out", cvl::cvlAcceptMain},
    {"pages", cvl::kCvlPagesUsage,
     "read a page command against FILE and print the command bar's reply (preview, clarify, "
     "refuse or error); --yes runs a preview at once and prints the done reply; --original "
     "DOC: FILE is the PDF converted from DOC, and new files go beside DOC, named after it",
     cvl::cvlPagesMain},
    {"layout", "layout FILE.pdf",
     "print a PDF's outline and its text lines with their heights as {path, pages, outline: "
     "[{title, level, page}], lines: [{page, text, size, x, y}]}",
     cvl::cvlLayoutMain},
    {"speak", cvl::kCvlSpeakUsage,
     "read FILE (or one page of it) aloud into a WAV file; prints the spoken words' UTF-16 "
     "ranges of the read text and their start times as {words: [{loc, len, ms}], text, ...}",
     cvl::cvlSpeakMain},
    {"voices", "voices",
     "list the English read-aloud voices as the settings offer them: [{id, label}], best first",
     cvl::cvlVoicesMain},
    {"bates", cvl::kCvlBatesUsage,
     "stamp the folder's PDFs and images with consecutive Bates labels into FOLDER/Bates-Stamped "
     "(or DIR), with an audit manifest and a CSV load file; prints the run result",
     cvl::cvlBatesMain},
    {"update", cvl::kCvlUpdateUsage,
     "check the update feed (update_feed, or --feed) for a newer version, or install it into "
     "the install directory this cvl runs from; prints {command, outcome, status, running, "
     "version, build, feed, error}",
     cvl::cvlUpdateMain},
    {"files", cvl::kCvlFilesUsage,
     "move, make folders, trash, rename and duplicate without ever replacing a file; prints "
     "the outcome object (cvl files --help documents each form)",
     cvl::cvlFilesMain},
    {"form", cvl::kCvlFormUsage,
     "describe the form of a PDF: {ok, isForm, count, total, byKind}; --fields prints the field "
     "records {name, kind, page, value, options}",
     cvl::cvlFormMain},
    {"fill", cvl::kCvlFillUsage,
     "fill form fields into a new file OUT, with appearances that show in every viewer (check "
     "boxes and radio buttons take an on-state name, yes or Off)",
     cvl::cvlFillMain},
    {"redact", cvl::kCvlRedactUsage,
     "write a flattened copy OUT: every page a picture (150 dpi unless --dpi) with the boxes "
     "(PDF points, origin bottom left) black, no metadata; the audit record goes beside it",
     cvl::cvlRedactMain},
    {"sign", cvl::kCvlSignUsage,
     "draw the signature picture at each placement (PDF points, origin bottom left), flatten the "
     "form and write \"NAME (signed).pdf\" into DIR",
     cvl::cvlSignMain},
    {"compare", cvl::kCvlCompareUsage,
     "compare two PDFs visually, page by page; prints {pages: [{page, total, frac, added, "
     "removed}]}; --images writes a-N.png, b-N.png and overlay-N.png into DIR",
     cvl::cvlCompareMain},
    {"ocr", cvl::kCvlOcrUsage,
     "recognise the text of scanned PDFs into the OCR cache that search reads; prints "
     "{documents: [{path, pages: [{page, text}]}]}, or with --layer the reader's text-layer "
     "answer; progress on standard error",
     cvl::cvlOcrMain},
    {"info", cvl::kCvlInfoUsage,
     "print what the information panel shows for a document: file size, dates and place, and for "
     "PDFs the title, author, producer, pages and their sizes, fonts, tagging, encryption and "
     "forms",
     cvl::cvlInfoMain},
    {nullptr, nullptr, nullptr, nullptr},
};

void printHelp(FILE* out) {
    std::fprintf(out,
                 "usage: cvl <command> [options]\n"
                 "\n"
                 "Corvello's headless companion: the same core as the desktop application,\n"
                 "from the command line. Every command prints one JSON document on standard\n"
                 "output and exits 0; bad arguments print a usage message and exit 2.\n"
                 "\n"
                 "commands:\n");
    for (const auto& c : kCommands) {
        if (!c.name) continue;
        std::fprintf(out, "  %s\n      %s\n", c.usage, c.summary);
    }
    std::fprintf(out,
                 "  --help       show this help\n"
                 "  --version    print the version\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        printHelp(stderr);
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printHelp(stdout);
        return 0;
    }
    if (args[0] == "--version") {
        std::printf("cvl %s\n", cvl::kVersion().c_str());
        return 0;
    }
    for (const auto& c : kCommands) {
        if (!c.name || args[0] != c.name) continue;
        // Commands read documents: they run on a thread with the large work stack.
        int status = 1;
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        cvl::Threads::runOnWorkStack([&] { status = c.run(rest); });
        return status;
    }
    std::fprintf(stderr, "cvl: unknown command '%s'\n\n", args[0].c_str());
    printHelp(stderr);
    return 2;
}
