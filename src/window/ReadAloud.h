// Read aloud: the reader page keeps the text to read in window.__cvlSpeakText and asks for
// speak, speakpause, speakresume and speakstop; the host reads the text, picks the voice,
// speaks, keeps the display awake while it does, and reports each word about to be spoken
// (cvlSpeakRange), state changes (cvlSpeakState) and the end (cvlSpeakDone), every report
// carrying the generation of the reading it belongs to.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "window/BridgeModule.h"

namespace cvl {

class ReadAloudModule : public BridgeModule {
  public:
    ReadAloudModule();
    ~ReadAloudModule() override;
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;

    struct Reader;

  private:
    std::shared_ptr<Reader> readerFor(const BridgeRequest& request);
    void start(const BridgeRequest& request, const std::shared_ptr<Reader>& reader);
    std::map<std::string, std::shared_ptr<Reader>> readers_;  // by window
};

namespace ReadAloud {
// "rate": a decimal number of words per minute, else the synthesizer's normal rate; clamped.
double parseRate(const std::optional<std::string>& text);
// "gen": a decimal integer with an optional sign, else none.
std::optional<long long> parseGeneration(const std::optional<std::string>& text);
}  // namespace ReadAloud

}  // namespace cvl
