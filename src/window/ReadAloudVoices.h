// Which voice reads aloud, and the voice list the settings panel offers. The automatic choice
// puts an "en-US" voice before quality; the list puts quality before "en-US". Both orders are
// what users of the two places expect: the best American voice to start with, the best voices
// first to pick from.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/speech/Speech.h"

namespace cvl::ReadAloudVoices {

// "Premium", "Enhanced" or "Standard".
std::string qualityWord(speech::VoiceQuality quality);
// Name + " (" + quality word + ", " + language + ")".
std::string label(const speech::Voice& voice);
// 4 for premium, 2 for enhanced, plus 1 for exactly "en-US".
int optionScore(const speech::Voice& voice);
// [{id, label}] for every voice whose language begins with "en", highest score first (stable).
std::string optionsJSON(const std::vector<speech::Voice>& voices);

// The voice to read with: the `tts_voice` setting when it names an installed voice, else the
// cached automatic choice, else the automatic choice (cached). Empty: the synthesizer's own
// default English voice.
std::string bestVoice(const std::vector<speech::Voice>& voices, const std::string& setting,
                      std::optional<std::string>& cached);

}  // namespace cvl::ReadAloudVoices
