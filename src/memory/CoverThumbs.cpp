#include "memory/CoverThumbs.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>

#include "memory/FileStamp.h"
#include "platform/Base64.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"
#include "platform/pdf/PdfDocument.h"

namespace cvl {

namespace CoverThumbs {

bool isBlank(const PdfBitmap& bitmap) {
    if (bitmap.width < 1 || bitmap.height < 1 ||
        bitmap.pixels.size() < size_t(bitmap.width) * size_t(bitmap.height) * 3)
        return true;
    int stepX = std::max(1, bitmap.width / 40);
    int stepY = std::max(1, bitmap.height / 40);
    double darkest = 1, lightest = 0;
    for (int y = 0; y < bitmap.height; y += stepY) {
        for (int x = 0; x < bitmap.width; x += stepX) {
            const std::uint8_t* p =
                &bitmap.pixels[(size_t(y) * size_t(bitmap.width) + size_t(x)) * 3];
            double mean = (p[0] + p[1] + p[2]) / (3.0 * 255.0);
            darkest = std::min(darkest, mean);
            lightest = std::max(lightest, mean);
        }
    }
    return !(lightest - darkest > 0.05);
}

std::optional<std::string> pageOneJPEGBase64(const std::string& path) {
    auto doc = PdfDocument::openFile(path);
    if (!doc || doc->isLocked() || doc->pageCount() < 1) return std::nullopt;
    auto box = doc->mediaBox(0);
    if (!box || !(box->width() > 1) || !(box->height() > 1)) return std::nullopt;
    double scale = std::min(kTargetWidth / box->width(), 1.0);
    auto bitmap = renderPageImage(*doc, 0, scale, PdfBox::media);
    if (!bitmap || isBlank(*bitmap)) return std::nullopt;
    auto jpeg = encodeJpeg(*bitmap, 72);
    if (!jpeg || jpeg->empty() || jpeg->size() > kMaxBytes) return std::nullopt;
    return base64Encode(*jpeg);
}

}  // namespace CoverThumbs

namespace HistoryCovers {

std::string coversDir() {
    std::string dir = UserDirs::archiveDir() + "/.covers";
    makeDirs(dir);
    return dir;
}

std::optional<std::string> coverKey(const std::string& path) {
    auto stamp = fileStamp(path);
    if (!stamp) return std::nullopt;
    return sha256Hex(path + "|" + std::to_string(stamp->mtime) + "|" + std::to_string(stamp->size))
        .substr(0, 24);
}

std::string fileUrl(const std::string& path) {
    std::string url = "file://";
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        if (j > i) url += percentEncode(std::string_view(path).substr(i, j - i));
        if (j < path.size()) url += '/';
        i = j + 1;
    }
    return url;
}

std::optional<std::string> renderPdfCover(const std::string& path) {
    if (lowerExtension(path) != "pdf") return std::nullopt;
    auto doc = PdfDocument::openFile(path);
    if (!doc || doc->isLocked() || doc->pageCount() < 1) return std::nullopt;
    auto box = doc->cropBox(0);
    if (!box || box->width() < 1 || box->height() < 1) return std::nullopt;
    double w = box->width(), h = box->height();
    if (doc->rotation(0) % 180 != 0) std::swap(w, h);
    // 330 x 427 points at scale 2.
    double scale = std::min(660.0 / w, 854.0 / h);
    auto bitmap = renderPageImage(*doc, 0, scale, PdfBox::crop);
    if (!bitmap) return std::nullopt;
    return encodePng(*bitmap);
}

void render(const std::vector<std::string>& paths,
            std::function<void(std::map<std::string, std::string>)> completion, Options options) {
    struct Run {
        std::mutex mutex;
        std::condition_variable changed;
        std::map<std::string, std::string> covers;  // guarded: completions arrive on pool threads
        int inFlight = 0;
        bool answered = false;
    };
    auto run = std::make_shared<Run>();
    Renderer renderer = options.renderer ? options.renderer : Renderer(renderPdfCover);
    std::string dir = coversDir();
    std::vector<std::string> list;
    std::set<std::string> seen;
    for (const auto& p : paths)
        if (!p.empty() && seen.insert(p).second) list.push_back(p);

    Dispatch::serial("covers").async(
        [run, renderer, dir, list, options, completion = std::move(completion)] {
            auto deadline = std::chrono::steady_clock::now() + options.wait;
            for (const auto& path : list) {
                auto key = coverKey(path);
                if (!key) continue;
                std::string file = dir + "/" + *key + ".png";
                if (isRegularFile(file)) {
                    std::lock_guard lock(run->mutex);
                    run->covers[path] = fileUrl(file);
                    continue;
                }
                {
                    std::unique_lock lock(run->mutex);
                    if (!run->changed.wait_until(lock, deadline, [&] {
                            return run->inFlight < std::max(1, options.maxInFlight);
                        }))
                        break;
                    ++run->inFlight;
                }
                Dispatch::global().async([run, renderer, path, file] {
                    auto png = renderer(path);
                    bool written = png && !png->empty() && writeFileAtomic(file, *png).ok();
                    std::lock_guard lock(run->mutex);
                    --run->inFlight;
                    if (written && !run->answered) run->covers[path] = fileUrl(file);
                    run->changed.notify_all();
                });
            }
            std::map<std::string, std::string> answer;
            {
                std::unique_lock lock(run->mutex);
                run->changed.wait_until(lock, deadline, [&] { return run->inFlight == 0; });
                run->answered = true;
                answer = run->covers;
            }
            Dispatch::main().async([completion, answer = std::move(answer)]() mutable {
                completion(std::move(answer));
            });
        });
}

std::string coversObject(const std::map<std::string, std::string>& covers) {
    std::string s = "{";
    bool first = true;
    for (const auto& [path, url] : covers) {
        if (!first) s += ",";
        first = false;
        s += jsQuote(path) + ":" + jsQuote(url);
    }
    return s + "}";
}

}  // namespace HistoryCovers

}  // namespace cvl
