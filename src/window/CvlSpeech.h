// cvl speak and cvl voices: read a document's text into a WAV file with the spoken words'
// ranges, and list the read-aloud voices as the settings panel offers them.
#pragma once

#include <string>
#include <vector>

namespace cvl {

inline constexpr const char* kCvlSpeakUsage =
    "speak FILE [--page N] [--voice ID] [--rate R] --wav OUT.wav";
int cvlSpeakMain(const std::vector<std::string>& args);
int cvlVoicesMain(const std::vector<std::string>& args);

}  // namespace cvl
