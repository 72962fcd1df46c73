#include "platform/speech/AudioOutput.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <chrono>
#include <thread>

#include "platform/Env.h"
#include "platform/SysLog.h"

namespace cvl::speech {
namespace {

class PulseOutput : public AudioOutput {
  public:
    explicit PulseOutput(pa_simple* stream) : stream_(stream) {}
    ~PulseOutput() override { pa_simple_free(stream_); }
    void write(const std::int16_t* samples, std::size_t count) override {
        int err = 0;
        if (count) pa_simple_write(stream_, samples, count * sizeof(std::int16_t), &err);
    }
    void flush() override {
        int err = 0;
        pa_simple_flush(stream_, &err);
    }
    void drain() override {
        int err = 0;
        pa_simple_drain(stream_, &err);
    }
    const char* kind() const override { return "pulse"; }

  private:
    pa_simple* stream_;
};

// Takes the samples' playing time, so that a reading without sound keeps the pace of speech.
// A gap between writes (a pause) starts the clock again from now.
class ClockOutput : public AudioOutput {
  public:
    explicit ClockOutput(int sampleRate) : rate_(sampleRate) {}
    void write(const std::int16_t*, std::size_t count) override {
        auto now = Clock::now();
        if (next_ < now) next_ = now;
        next_ += std::chrono::microseconds(static_cast<long long>(count) * 1000000 / rate_);
        std::this_thread::sleep_until(next_);
    }
    void flush() override { next_ = {}; }
    void drain() override {}
    const char* kind() const override { return "clock"; }

  private:
    using Clock = std::chrono::steady_clock;
    int rate_;
    Clock::time_point next_{};
};

class NoOutput : public AudioOutput {
  public:
    void write(const std::int16_t*, std::size_t) override {}
    void flush() override {}
    void drain() override {}
    const char* kind() const override { return "none"; }
};

}  // namespace

std::unique_ptr<AudioOutput> openAudioOutput(int sampleRate) {
    const std::string forced = envValue("CVL_SPEECH_OUTPUT");
    if (forced == "none") return std::make_unique<NoOutput>();
    if (forced != "clock") {
        pa_sample_spec spec{};
        spec.format = PA_SAMPLE_S16LE;
        spec.rate = static_cast<uint32_t>(sampleRate);
        spec.channels = 1;
        // A short buffer (about 80 ms) keeps the reported words close to what is heard and
        // makes a stop silent at once.
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = static_cast<uint32_t>(sampleRate * 2 * 80 / 1000);
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.minreq = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(-1);
        int err = 0;
        pa_simple* stream = pa_simple_new(nullptr, "Corvello", PA_STREAM_PLAYBACK, nullptr,
                                          "Read aloud", &spec, nullptr, &attr, &err);
        if (stream) return std::make_unique<PulseOutput>(stream);
        static bool logged = false;
        if (!logged) {
            logged = true;
            cvlLog("read aloud: no sound server (%s); words are reported without sound",
                   pa_strerror(err));
        }
    }
    return std::make_unique<ClockOutput>(sampleRate);
}

}  // namespace cvl::speech
