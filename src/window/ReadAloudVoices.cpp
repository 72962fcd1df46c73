#include "window/ReadAloudVoices.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace cvl::ReadAloudVoices {

using speech::Voice;
using speech::VoiceQuality;

namespace {

bool isEnglish(const Voice& v) {
    return v.language.rfind("en", 0) == 0;
}

int qualityRank(VoiceQuality q) {
    return q == VoiceQuality::premium ? 2 : q == VoiceQuality::enhanced ? 1 : 0;
}

std::vector<Voice> englishVoices(const std::vector<Voice>& voices) {
    std::vector<Voice> out;
    for (const auto& v : voices)
        if (isEnglish(v)) out.push_back(v);
    return out;
}

}  // namespace

std::string qualityWord(VoiceQuality quality) {
    switch (quality) {
        case VoiceQuality::premium:
            return "Premium";
        case VoiceQuality::enhanced:
            return "Enhanced";
        default:
            return "Standard";
    }
}

std::string label(const Voice& v) {
    return v.name + " (" + qualityWord(v.quality) + ", " + v.language + ")";
}

int optionScore(const Voice& v) {
    int score = v.quality == VoiceQuality::premium    ? 4
                : v.quality == VoiceQuality::enhanced ? 2
                                                      : 0;
    return score + (v.language == "en-US" ? 1 : 0);
}

std::string optionsJSON(const std::vector<Voice>& voices) {
    std::vector<Voice> list = englishVoices(voices);
    std::stable_sort(list.begin(), list.end(), [](const Voice& a, const Voice& b) {
        return optionScore(a) > optionScore(b);
    });
    nlohmann::json out = nlohmann::json::array();
    for (const auto& v : list) out.push_back({{"id", v.id}, {"label", label(v)}});
    try {
        return out.dump();
    } catch (const nlohmann::json::exception&) {
        return "[]";  // a name that is not UTF-8
    }
}

std::string bestVoice(const std::vector<Voice>& voices, const std::string& setting,
                      std::optional<std::string>& cached) {
    if (!setting.empty() && setting != "auto")
        for (const auto& v : voices)
            if (v.id == setting) return v.id;
    if (cached) return *cached;
    std::vector<Voice> list = englishVoices(voices);
    std::stable_sort(list.begin(), list.end(), [](const Voice& a, const Voice& b) {
        const bool aUS = a.language == "en-US", bUS = b.language == "en-US";
        if (aUS != bUS) return aUS;
        return qualityRank(a.quality) > qualityRank(b.quality);
    });
    std::string chosen;
    if (!list.empty())
        chosen = list.front().id;
    else
        for (const auto& v : voices)
            if (v.language == "en-US") chosen = v.id;
    cached = chosen;
    return chosen;
}

}  // namespace cvl::ReadAloudVoices
