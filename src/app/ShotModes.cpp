// corvello --welcome-shot and --notice-shot: what they picture, how a picture is judged and
// where it is written. The desktop host draws.
#include <cstdio>

#include "app/DesktopEntry.h"
#include "app/WelcomePage.h"
#include "platform/FileIO.h"
#include "updates/CorvelloNotice.h"
#include "window/PageScript.h"
#include "window/ReaderURL.h"

namespace cvl {
namespace {

ZKNoticeContent fromCatalogue(const char* id) {
    if (auto entry = CorvelloNoticeCopy::entry(id)) return *entry;
    return CorvelloNotice::make(std::nullopt, id, "");
}

ZKNoticeContent withKeys(ZKNoticeContent c, std::vector<std::string> keys, std::string note) {
    c.keys = std::move(keys);
    c.keysNote = std::move(note);
    return c;
}

struct Sample {
    std::string file;
    ZKNoticeContent content;
    bool dark = false;
    double progress = -1;
};

// One card per tone, cards with a body, with keycaps and with a title long enough to wrap,
// and two in the dark look.
std::vector<Sample> samples() {
    return {
        {"notice-neutral.png", fromCatalogue("already-checking"), false, 0.35},
        {"notice-positive.png", fromCatalogue("up-to-date"), false, 0.6},
        {"notice-caution.png",
         withKeys(CorvelloNotice::make(std::nullopt, "Open a document first", ""), {"Ctrl", "O"},
                  "opens one"),
         false, 0.2},
        {"notice-negative.png", fromCatalogue("feed-unreachable"), false, -1},
        {"notice-keys.png",
         withKeys(CorvelloNotice::make(std::nullopt, "Search this folder",
                                       "Every document in it is indexed."),
                  {"Ctrl", "Shift", "F"}, "finds words in all of them"),
         false, 0.5},
        {"notice-long-title.png",
         CorvelloNotice::make(std::nullopt,
                              "Couldn't save the signed copy of Lease agreement for "
                              "12 Harbour Street, second floor",
                              "Nothing was written and the original is untouched."),
         false, -1},
        {"notice-long-body.png", fromCatalogue("signed-copy-failed"), false, -1},
        {"notice-positive-dark.png", fromCatalogue("up-to-date"), true, 0.6},
        {"notice-negative-dark.png", fromCatalogue("restore-failed"), true, -1},
    };
}

}  // namespace

int runWelcomeShot(const WelcomeShotOptions& options,
                   int (*render)(const PageShotRequest&, const PageShotJudge&)) {
    PageShotRequest request;
    request.url = ReaderAddress::fileURL(writeWelcomeFile(std::nullopt, options.demo));
    request.width = options.width;
    request.height = options.height;
    request.dark = options.dark;
    // The asked look, and no animation half-way through.
    request.script = std::string("document.documentElement.dataset.theme=") +
                     PageScript::single(options.dark ? "dark" : "light") +
                     ";var __s=document.createElement('style');"
                     "__s.textContent='#cvlWelcome *,#cvlWelcome *::before,#cvlWelcome "
                     "*::after{animation:none!important;transition:none!important}';"
                     "document.head.appendChild(__s);";
    if (options.wantTools)
        request.script += PageScript::callMember("CorvelloWelcome", "_setTab", "'tools'") + ";";
    request.script += "true";
    const std::string out = options.out;
    return render(request, [out](const PageShotFrame& frame) {
        const double span = WelcomeShotCheck::luminanceSpan(frame.width, frame.height, frame.pixel);
        if (WelcomeShotCheck::isBlank(span)) {
            std::fprintf(stderr,
                         "welcome-shot: BLANK FRAME \u2014 luminance span %.3f over the content "
                         "area, nothing was drawn. Not written.\n",
                         span);
            return 3;
        }
        if (Status written = writeFileAtomic(out, frame.png); !written) {
            std::fprintf(stderr, "welcome-shot: write failed: %s\n", written.error().c_str());
            return 1;
        }
        std::printf("OK %s (%zu bytes, %dx%d, content span %.2f)\n", out.c_str(), frame.png.size(),
                    frame.width, frame.height, span);
        std::fflush(stdout);
        return 0;
    });
}

int runNoticeShot(const std::string& dir,
                  std::string (*draw)(const ZKNoticeContent&, bool, double, int&, int&)) {
    if (dir.empty()) {
        std::fprintf(stderr, "notice-shot: needs a folder to write into\n");
        return 1;
    }
    if (!isDirectory(dir) && !makeDirs(dir)) {
        std::fprintf(stderr, "notice-shot: cannot make the folder %s\n", dir.c_str());
        return 1;
    }
    int failed = 0;
    for (const Sample& s : samples()) {
        const std::string path = (dir.back() == '/' ? dir : dir + "/") + s.file;
        int width = 0, height = 0;
        const std::string png = draw(s.content, s.dark, s.progress, width, height);
        if (png.empty()) {
            std::fprintf(stderr, "notice-shot: could not draw %s\n", s.file.c_str());
            ++failed;
            continue;
        }
        if (Status written = writeFileAtomic(path, png); !written) {
            std::fprintf(stderr, "notice-shot: %s: %s\n", path.c_str(), written.error().c_str());
            ++failed;
            continue;
        }
        std::printf("%s %dx%d %s\n", path.c_str(), width, height,
                    toneRawValue(s.content.tone).c_str());
    }
    return failed == 0 ? 0 : 1;
}

}  // namespace cvl
