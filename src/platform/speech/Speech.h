// Speech synthesis behind one small interface: the installed voices, the speaking-rate range,
// offline synthesis to samples (with the spoken words), and live speech with word reports,
// pause at a word boundary, resume and immediate stop. espeak-ng does the synthesis; sound goes
// to the desktop's sound server, and without one the words are still reported in time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Result.h"

namespace cvl::speech {

enum class VoiceQuality { standard, enhanced, premium };

struct Voice {
    std::string id;        // what speak() and synthesize() take
    std::string name;      // "English (America)"
    std::string language;  // BCP 47 letter case: "en-US", "en-GB-x-rp"
    VoiceQuality quality = VoiceQuality::standard;
};

// Every installed voice, in the synthesizer's order. Read once per process.
const std::vector<Voice>& installedVoices();

// Words per minute.
struct RateRange {
    double minimum = 80;
    double maximum = 450;
    double normal = 175;
};
RateRange rateRange();
double clampRate(double wordsPerMinute);

// One word about to be spoken: its place in the text in UTF-16 code units, and when it starts
// in milliseconds from the start of the speech.
struct SpokenWord {
    std::size_t loc = 0;
    std::size_t len = 0;
    long ms = 0;
};

// Maps espeak's 1-based code-point positions to UTF-16 offsets of a UTF-8 text. A byte that
// does not start a valid sequence counts as one code point of one unit.
class Utf16Positions {
  public:
    explicit Utf16Positions(std::string_view utf8);
    // UTF-16 offset of the code point at this 0-based index (the end for indexes past it).
    std::size_t offsetOf(std::size_t codePoint) const;
    std::size_t codePoints() const { return offsets_.size() - 1; }

  private:
    std::vector<std::size_t> offsets_;  // one per code point, plus the end
};

// ---- offline synthesis

struct Synthesis {
    int sampleRate = 0;
    std::vector<std::int16_t> samples;  // mono
    std::vector<SpokenWord> words;
};

// Speaks `text` into memory. An empty voice id means the default English voice; an unknown
// one fails. The rate is clamped.
Result<Synthesis> synthesize(std::string_view text, const std::string& voiceId,
                             double wordsPerMinute);
// A 16-bit mono PCM WAV file, written atomically.
Status writeWav(const std::string& path, const Synthesis& synthesis);

// ---- live speech

enum class SpeechEnd { finished, stopped, failed };

// Called on the speech thread, in order.
struct SpeechEvents {
    std::function<void(const SpokenWord&)> word;
    std::function<void()> paused;  // reached the word boundary after pause()
    std::function<void()> resumed;
    std::function<void(SpeechEnd, const std::string& error)> ended;
};

// One reader's voice. Only one reading plays at a time in the process: a speaker that starts
// ends the reading of any other (which reports `stopped`).
class Speaker {
  public:
    Speaker();
    ~Speaker();  // stops its reading
    Speaker(const Speaker&) = delete;
    Speaker& operator=(const Speaker&) = delete;

    // Stops any reading of this speaker at once and starts this one.
    void speak(std::string text, std::string voiceId, double wordsPerMinute, SpeechEvents events);
    // Pauses before the next word; nothing happens when nothing is speaking.
    void pause();
    // Continues a paused reading; false (and nothing happens) when it is not paused.
    bool resume();
    // Stops at once; the reading reports `stopped`.
    void stop();
    bool speaking() const;
    bool paused() const;

    struct Session;

  private:
    std::shared_ptr<Session> session_;
};

// Where live speech goes: "pulse" when the sound server answered for the last reading,
// "clock" when it was paced silently. For the benchmark and the log.
std::string lastOutputKind();

}  // namespace cvl::speech
