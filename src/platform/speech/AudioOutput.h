// Where live speech samples go: the desktop's sound server (PulseAudio's simple API, which
// PipeWire also serves), or, without one, a silent clock that takes as long as the sound would,
// so that word reports keep the pace of speech.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace cvl::speech {

class AudioOutput {
  public:
    virtual ~AudioOutput() = default;
    // Plays (or waits out) the samples; returns when they are queued for playing.
    virtual void write(const std::int16_t* samples, std::size_t count) = 0;
    // Drops what is queued but not yet heard.
    virtual void flush() = 0;
    // Waits until everything queued has been heard.
    virtual void drain() = 0;
    virtual const char* kind() const = 0;
};

// The sound server when it answers, else the silent clock. CVL_SPEECH_OUTPUT=clock forces the
// clock; CVL_SPEECH_OUTPUT=none gives an output that takes no time at all (tests).
std::unique_ptr<AudioOutput> openAudioOutput(int sampleRate);

}  // namespace cvl::speech
