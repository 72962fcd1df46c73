#include "operations/CvlCompare.h"

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>

#include "operations/VisualDiff.h"
#include "platform/FileIO.h"
#include "search/OrderedWork.h"

namespace cvl {
namespace {

using nlohmann::json;

// Pages compared ahead of the one being written at most: keeps memory flat on long documents.
constexpr std::size_t kCompareAhead = 4;

int usage(const std::string& why) {
    std::fprintf(stderr, "cvl compare: %s\nusage: cvl %s\n", why.c_str(), kCvlCompareUsage);
    return 2;
}

std::string absolute(const std::string& path) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

int printJson(const json& j) {
    std::printf("%s\n", j.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
    return 0;
}

struct DocPair {
    PdfDocument a;
    PdfDocument b;
};

// Open copies of the two documents, one per thread at work: a document renders one page at
// a time, so threads that shared one would wait for each other.
class DocPairPool {
  public:
    DocPairPool(std::string a, std::string b) : a_(std::move(a)), b_(std::move(b)) {}

    // A pair of open documents, or the message of the first that cannot be opened.
    Result<DocPair> take() {
        {
            std::lock_guard lock(mutex_);
            if (!free_.empty()) {
                DocPair p = std::move(free_.back());
                free_.pop_back();
                return p;
            }
        }
        auto a = open(a_);
        if (!a) return Failure{a.error()};
        auto b = open(b_);
        if (!b) return Failure{b.error()};
        return DocPair{std::move(*a), std::move(*b)};
    }
    void give(DocPair pair) {
        std::lock_guard lock(mutex_);
        free_.push_back(std::move(pair));
    }

  private:
    static Result<PdfDocument> open(const std::string& path) {
        auto doc = PdfDocument::openFile(path);
        if (!doc) return doc;
        if (doc->isLocked())
            return Failure{lastPathComponent(path) + " is protected with a password."};
        return doc;
    }
    std::string a_, b_;
    std::mutex mutex_;
    std::vector<DocPair> free_;
};

bool writeImage(const std::string& dir, const std::string& name, int page,
                const std::optional<std::string>& png) {
    if (!png) return true;
    return writeFileAtomic(dir + "/" + name + "-" + std::to_string(page) + ".png", *png).ok();
}

}  // namespace

int cvlCompareMain(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    std::optional<int> onlyPage;
    std::optional<std::string> imageDir;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--page" || a == "--images") {
            if (i + 1 >= args.size()) return usage(a + " needs a value");
            const std::string& v = args[++i];
            if (a == "--images") {
                imageDir = absolute(v);
                continue;
            }
            std::size_t used = 0;
            int n = 0;
            try {
                n = std::stoi(v, &used);
            } catch (...) {
                used = 0;
            }
            if (used != v.size() || v.empty() || n < 1) return usage("--page needs a page number");
            onlyPage = n;
        } else if (a.rfind("--", 0) == 0) {
            return usage("unknown option " + a);
        } else {
            files.push_back(absolute(a));
        }
    }
    if (files.size() != 2) return usage("two PDF files are needed");

    auto fail = [&](const std::string& why) {
        printJson({{"pages", json::array()}, {"error", why}});
        return 1;
    };
    DocPairPool pool(files[0], files[1]);
    auto first = pool.take();
    if (!first) return fail(first.error());
    const int total = std::max(first->a.pageCount(), first->b.pageCount());
    pool.give(std::move(*first));
    if (imageDir && !makeDirs(*imageDir))
        return fail("The folder " + *imageDir + " could not be made.");
    if (onlyPage && *onlyPage > total)
        return fail("Neither document has a page " + std::to_string(*onlyPage) + ".");

    const int from = onlyPage ? *onlyPage - 1 : 0;
    const int to = onlyPage ? *onlyPage : total;
    const bool withImages = imageDir.has_value();
    OrderedWork<std::optional<VisualDiff::PageResult>> work(
        std::size_t(to - from),
        [&](std::size_t i) -> std::optional<VisualDiff::PageResult> {
            auto pair = pool.take();
            if (!pair) return std::nullopt;
            auto r = VisualDiff::diffPage(pair->a, pair->b, from + int(i), VisualDiff::kScale,
                                          VisualDiff::kCell, VisualDiff::kThreshold, withImages);
            pool.give(std::move(*pair));
            return r;
        },
        kCompareAhead);
    json pages = json::array();
    for (int i = 0; i < to - from; ++i) {
        auto r = work.take(std::size_t(i));
        if (!r) continue;
        if (imageDir && !(writeImage(*imageDir, "a", r->page, r->a) &&
                          writeImage(*imageDir, "b", r->page, r->b) &&
                          writeImage(*imageDir, "overlay", r->page, r->overlay)))
            return fail("The images of page " + std::to_string(r->page) +
                        " could not be written into " + *imageDir + ".");
        pages.push_back(VisualDiff::resultJson(*r, false));
    }
    return printJson({{"pages", pages}});
}

}  // namespace cvl
