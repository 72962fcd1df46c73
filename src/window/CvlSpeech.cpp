#include "window/CvlSpeech.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/FileIO.h"
#include "platform/speech/Speech.h"
#include "search/OcrCache.h"
#include "search/TextExtraction.h"
#include "window/ReadAloudVoices.h"

namespace cvl {
namespace {

using nlohmann::json;

int usage(const std::string& why) {
    std::fprintf(stderr, "cvl: %s\nusage: cvl %s\n", why.c_str(), kCvlSpeakUsage);
    return 2;
}

int print(const json& j, int status) {
    std::printf("%s\n", j.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
    return status;
}

std::string absolute(const std::string& p) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(p, ec);
    return ec ? p : abs.lexically_normal().string();
}

// A file we may replace: none there yet, or a WAV file (an earlier take).
bool mayWrite(const std::string& path) {
    if (!pathExists(path)) return true;
    auto head = readFile(path);
    return isRegularFile(path) && head && head->size() >= 12 && head->compare(0, 4, "RIFF") == 0 &&
           head->compare(8, 4, "WAVE") == 0;
}

}  // namespace

int cvlSpeakMain(const std::vector<std::string>& args) {
    std::optional<std::string> file, wav, voice;
    std::optional<int> page;
    double rate = speech::rateRange().normal;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--page" || a == "--voice" || a == "--rate" || a == "--wav") {
            if (i + 1 >= args.size()) return usage(a + " needs a value");
            const std::string v = args[++i];
            char* end = nullptr;
            if (a == "--page") {
                long n = std::strtol(v.c_str(), &end, 10);
                if (v.empty() || *end || n < 1) return usage("--page takes a page number from 1");
                page = static_cast<int>(n);
            } else if (a == "--rate") {
                rate = std::strtod(v.c_str(), &end);
                if (v.empty() || *end || !(rate > 0)) return usage("--rate takes words per minute");
            } else if (a == "--voice") {
                voice = v;
            } else {
                wav = absolute(v);
            }
        } else if (a.rfind("--", 0) == 0 || file) {
            return usage("unexpected argument " + a);
        } else {
            file = absolute(a);
        }
    }
    if (!file) return usage("no FILE");
    if (!wav) return usage("--wav OUT.wav is required");

    json answer = {{"path", *file}, {"wav", *wav}};
    auto fail = [&](const std::string& why) {
        answer["error"] = why;
        return print(answer, 1);
    };
    if (!isRegularFile(*file)) return fail("There is no file at this path.");
    if (!TextExtraction::isIndexableExt(lowerExtension(*file)))
        return fail("This kind of file has no text that Corvello reads.");
    if (!mayWrite(*wav))
        return fail("A file that is not a WAV file is already at the output path.");
    if (voice) {
        bool known = false;
        for (const auto& v : speech::installedVoices()) known = known || v.id == *voice;
        if (!known)
            return fail("The voice \"" + *voice + "\" is not installed. cvl voices lists them.");
    }

    std::string text;
    for (const auto& c : TextExtraction::chunksFor(*file, TextExtraction::typeForPath(*file),
                                                   OcrCache::ocrCacheRead)) {
        if (page && c.page != *page) continue;
        if (!text.empty()) text += "\n\n";
        text += c.body;
    }
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        return fail(page ? "Page " + std::to_string(*page) + " has no text to read."
                         : "This document has no text to read.");

    std::optional<std::string> cached;
    const std::string chosen =
        voice ? *voice : ReadAloudVoices::bestVoice(speech::installedVoices(), "auto", cached);
    auto s = speech::synthesize(text, chosen, rate);
    if (!s) return fail(s.error());
    if (Status w = speech::writeWav(*wav, *s); !w)
        return fail("The WAV file could not be written: " + w.error());

    json words = json::array();
    for (const auto& w : s->words) words.push_back({{"loc", w.loc}, {"len", w.len}, {"ms", w.ms}});
    answer["words"] = std::move(words);
    answer["voice"] = chosen;
    answer["rate"] = speech::clampRate(rate);
    answer["ms"] =
        s->sampleRate ? static_cast<long long>(s->samples.size()) * 1000 / s->sampleRate : 0;
    answer["text"] = text;
    return print(answer, 0);
}

int cvlVoicesMain(const std::vector<std::string>& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "usage: cvl voices\n");
        return 2;
    }
    std::printf("%s\n", ReadAloudVoices::optionsJSON(speech::installedVoices()).c_str());
    return 0;
}

}  // namespace cvl
