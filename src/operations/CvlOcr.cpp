#include "operations/CvlOcr.h"

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "operations/OcrFlows.h"
#include "operations/OcrPages.h"
#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "search/CVSearchIndex.h"
#include "search/TextExtraction.h"

namespace cvl {
namespace {

using nlohmann::json;

int usage(const std::string& why) {
    std::fprintf(stderr, "cvl ocr: %s\nusage: cvl %s\n", why.c_str(), kCvlOcrUsage);
    return 2;
}

std::string absolute(const std::string& path) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

void printJson(const json& j) {
    std::printf("%s\n", j.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
}

// Why a file cannot be recognised, or empty when it can be tried.
std::string problemWith(const std::string& path) {
    if (!isRegularFile(path)) return "There is no file at this path.";
    if (lowerExtension(path) != "pdf") return "Only PDF files are recognised.";
    auto doc = PdfDocument::openFile(path);
    if (!doc) return doc.error();
    if (doc->isLocked()) return "This PDF is protected with a password.";
    return {};
}

// Waits until the search index has taken every change queued so far.
void settleIndex() {
    bool done = false;
    CVSearchIndex::queue().async([&] { Dispatch::main().async([&] { done = true; }); });
    Dispatch::manualMain()->runUntil([&] { return done; }, std::chrono::minutes(10));
}

int layerMain(const std::string& path) {
    const std::string name = lastPathComponent(path);
    json answer = OcrFlows::textLayerAnswer(path, {}, [&](const OcrFlows::LayerProgress& p) {
        std::fprintf(stderr, "ocr: %s page %d (%d of %d)\n", name.c_str(), p.page, p.done + 1,
                     p.total);
    });
    printJson(answer);
    return answer.contains("reason") || !problemWith(path).empty() ? 1 : 0;
}

}  // namespace

int cvlOcrMain(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    bool layer = false;
    for (const auto& a : args) {
        if (a == "--layer")
            layer = true;
        else if (a.rfind("--", 0) == 0)
            return usage("unknown option " + a);
        else
            files.push_back(absolute(a));
    }
    if (files.empty()) return usage("at least one PDF file is needed");
    if (layer && files.size() != 1) return usage("--layer takes one FILE");
    if (!TextRecognizer::available()) {
        printJson({{"documents", json::array()},
                   {"error", "Text recognition is not available: the language data for \"" +
                                 TextRecognizer::languages() + "\" is not installed."}});
        return 1;
    }
    if (layer) return layerMain(files[0]);

    json documents = json::array();
    bool failed = false;
    for (std::size_t k = 0; k < files.size(); ++k) {
        const std::string& path = files[k];
        const std::string name = lastPathComponent(path);
        json entry{{"path", path}, {"pages", json::array()}};
        if (std::string why = problemWith(path); !why.empty()) {
            entry["error"] = why;
            failed = true;
            documents.push_back(entry);
            continue;
        }
        auto pages = Ocr::runOCRDoc(path, [&](int done, int total) {
            std::fprintf(stderr, "ocr: %s page %d of %d (document %zu of %zu)\n", name.c_str(),
                         done, total, k + 1, files.size());
        });
        if (!pages.empty() && !Ocr::storeRecognisedText(path, pages)) {
            entry["error"] = "The recognised text could not be stored in the OCR cache.";
            failed = true;
        }
        entry["pages"] = Ocr::pagesJson(pages);
        documents.push_back(entry);
    }
    settleIndex();
    printJson({{"documents", documents}});
    return failed ? 1 : 0;
}

}  // namespace cvl
