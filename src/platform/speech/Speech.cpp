#include "platform/speech/Speech.h"

#include <espeak-ng/speak_lib.h>

#include <dirent.h>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/speech/AudioOutput.h"

namespace cvl::speech {

// ---- positions

Utf16Positions::Utf16Positions(std::string_view s) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < s.size();) {
        offsets_.push_back(units);
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = c < 0x80         ? 1
                          : (c >> 5) == 6  ? 2
                          : (c >> 4) == 14 ? 3
                          : (c >> 3) == 30 ? 4
                                           : 0;
        bool valid = len > 0 && i + len <= s.size();
        for (std::size_t k = 1; valid && k < len; ++k)
            valid = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        if (!valid) len = 1;
        units += (valid && len == 4) ? 2 : 1;
        i += len;
    }
    offsets_.push_back(units);
}

std::size_t Utf16Positions::offsetOf(std::size_t codePoint) const {
    return offsets_[std::min(codePoint, offsets_.size() - 1)];
}

RateRange rateRange() {
    return RateRange{espeakRATE_MINIMUM, espeakRATE_MAXIMUM, espeakRATE_NORMAL};
}

double clampRate(double wpm) {
    const RateRange r = rateRange();
    if (!(wpm == wpm)) return r.normal;  // NaN
    return std::clamp(wpm, r.minimum, r.maximum);
}

namespace {

// Every espeak call happens under this lock: the library keeps one global state.
std::mutex& engineMutex() {
    static std::mutex m;
    return m;
}

// What a synthesis run hands its chunks to (espeak's callback finds it in the event's
// user data). Returns true to go on, false to abort.
class SynthTarget {
  public:
    virtual ~SynthTarget() = default;
    virtual bool chunk(const short* wav, int count, const espeak_EVENT* events) = 0;
};

int synthCallback(short* wav, int count, espeak_EVENT* events) {
    if (!events || !events->user_data) return 0;
    auto* target = static_cast<SynthTarget*>(events->user_data);
    return target->chunk(wav, wav ? count : 0, events) ? 0 : 1;
}

// The sample rate, or 0 when espeak-ng cannot start (no data files). Lock held.
int ensureEngine() {
    static int rate = -1;
    if (rate < 0) {
        rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 40, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (rate <= 0)
            rate = 0;
        else
            espeak_SetSynthCallback(synthCallback);
    }
    return rate;
}

// "en-us" -> "en-US", "en-gb-x-rp" -> "en-GB-x-rp".
std::string bcp47(std::string_view tag) {
    std::string out;
    bool first = true, privateUse = false;
    std::size_t start = 0;
    while (start <= tag.size()) {
        std::size_t end = tag.find('-', start);
        if (end == std::string_view::npos) end = tag.size();
        std::string part(tag.substr(start, end - start));
        for (auto& c : part) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!first && !privateUse) {
            if (part == "x")
                privateUse = true;
            else if (part.size() == 2)
                for (auto& c : part)
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            else if (part.size() == 4 && std::isalpha(static_cast<unsigned char>(part[0])))
                part[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(part[0])));
        }
        if (!first) out += '-';
        out += part;
        first = false;
        start = end + 1;
    }
    return out;
}

// MBROLA voices of espeak-ng's "voices/mb" folder whose diphone database is installed.
void addMbrolaVoices(std::vector<Voice>& out) {
    const char* dataPath = nullptr;
    espeak_Info(&dataPath);
    if (!dataPath || !isRegularFile("/usr/bin/mbrola")) return;
    const std::string dir = std::string(dataPath) + "/voices/mb";
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    std::vector<std::string> files;
    while (dirent* e = ::readdir(d))
        if (e->d_name[0] != '.') files.emplace_back(e->d_name);
    ::closedir(d);
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::ifstream in(dir + "/" + file);
        std::string line, language, name, database;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string key, value;
            words >> key >> value;
            if (key == "language" && language.empty())
                language = value;
            else if (key == "name")
                name = line.substr(line.find(value));
            else if (key == "mbrola")
                database = value;
        }
        if (language.empty() || database.empty()) continue;
        const std::string db = "/usr/share/mbrola/" + database;
        if (!isRegularFile(db + "/" + database) && !isRegularFile(db)) continue;
        out.push_back(Voice{"mb/" + file, name.empty() ? file : name, bcp47(language),
                            VoiceQuality::enhanced});
    }
}

bool selectVoice(const std::string& id) {
    if (id.empty()) return espeak_SetVoiceByName("en-us") == EE_OK;
    return espeak_SetVoiceByName(id.c_str()) == EE_OK;
}

// Turns espeak's word events into UTF-16 ranges: drops empty words and repeats of the same
// position (espeak reports some words, such as CJK runs, once per syllable). A word reported
// inside the previous one (espeak does this after some phrases it knows, such as "déjà vu") is
// placed at the next word of the text instead.
class WordMapper {
  public:
    explicit WordMapper(std::string_view text) : positions_(text) {
        for (std::size_t i = 0; i < text.size();) {
            const auto c = static_cast<unsigned char>(text[i]);
            std::size_t len = c < 0x80         ? 1
                              : (c >> 5) == 6  ? 2
                              : (c >> 4) == 14 ? 3
                              : (c >> 3) == 30 ? 4
                                               : 1;
            if (i + len > text.size()) len = 1;
            // Only ASCII separators matter here; every other code point counts as a letter.
            separator_.push_back(c < 0x80 && !std::isalnum(c) && c != '\'' ? 1 : 0);
            i += len;
        }
    }
    std::optional<SpokenWord> convert(const espeak_EVENT& e) {
        if (e.type != espeakEVENT_WORD || e.length <= 0 || e.text_position <= 0) return {};
        if (e.text_position == last_) return {};
        last_ = e.text_position;
        std::size_t first = static_cast<std::size_t>(e.text_position - 1);
        std::size_t end = first + static_cast<std::size_t>(e.length);
        if (first < prevEnd_) {
            first = prevEnd_;
            while (first < separator_.size() && separator_[first]) ++first;
            end = first;
            while (end < separator_.size() && !separator_[end]) ++end;
        }
        end = std::min(end, separator_.size());
        if (end <= first) return {};
        prevEnd_ = end;
        const std::size_t loc = positions_.offsetOf(first);
        return SpokenWord{loc, positions_.offsetOf(end) - loc, e.audio_position};
    }

  private:
    Utf16Positions positions_;
    std::vector<char> separator_;  // per code point
    int last_ = 0;
    std::size_t prevEnd_ = 0;
};

// Runs one synthesis of `text` into `target`. Lock held.
Status runSynthesis(std::string_view text, const std::string& voiceId, double wpm,
                    SynthTarget& target) {
    if (ensureEngine() <= 0) return Failure{"The speech synthesizer could not start."};
    if (!selectVoice(voiceId)) return Failure{"The voice \"" + voiceId + "\" is not installed."};
    espeak_SetParameter(espeakRATE, static_cast<int>(clampRate(wpm) + 0.5), 0);
    const std::string buffer(text);
    espeak_ERROR e = espeak_Synth(buffer.c_str(), buffer.size() + 1, 0, POS_CHARACTER, 0,
                                  espeakCHARS_UTF8, nullptr, &target);
    if (e != EE_OK) return Failure{"The speech synthesizer stopped."};
    return success();
}

std::atomic<const char*> gLastOutput{"none"};

}  // namespace

const std::vector<Voice>& installedVoices() {
    static const std::vector<Voice> voices = [] {
        std::vector<Voice> out;
        std::lock_guard lock(engineMutex());
        if (ensureEngine() <= 0) return out;
        const espeak_VOICE** list = espeak_ListVoices(nullptr);
        for (int i = 0; list && list[i]; ++i) {
            const espeak_VOICE* v = list[i];
            if (!v->languages || !v->languages[0] || !v->identifier) continue;
            out.push_back(Voice{v->identifier, v->name ? v->name : v->identifier,
                                bcp47(v->languages + 1), VoiceQuality::standard});
        }
        addMbrolaVoices(out);
        return out;
    }();
    return voices;
}

std::string lastOutputKind() {
    return gLastOutput.load();
}

// ---- offline synthesis

Result<Synthesis> synthesize(std::string_view text, const std::string& voiceId, double wpm) {
    struct Collect : SynthTarget {
        explicit Collect(std::string_view t) : mapper(t) {}
        Synthesis result;
        WordMapper mapper;
        bool chunk(const short* wav, int count, const espeak_EVENT* ev) override {
            for (; ev->type != espeakEVENT_LIST_TERMINATED; ++ev)
                if (auto w = mapper.convert(*ev)) result.words.push_back(*w);
            if (wav && count > 0) result.samples.insert(result.samples.end(), wav, wav + count);
            return true;
        }
    } collect(text);
    std::lock_guard lock(engineMutex());
    Status s = runSynthesis(text, voiceId, wpm, collect);
    if (!s) return Failure{s.error()};
    collect.result.sampleRate = ensureEngine();
    return std::move(collect.result);
}

Status writeWav(const std::string& path, const Synthesis& s) {
    auto le = [](std::string& out, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const auto dataBytes = static_cast<std::uint32_t>(s.samples.size() * 2);
    std::string out = "RIFF";
    le(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    le(out, 16, 4);
    le(out, 1, 2);  // PCM
    le(out, 1, 2);  // mono
    le(out, static_cast<std::uint32_t>(s.sampleRate), 4);
    le(out, static_cast<std::uint32_t>(s.sampleRate) * 2, 4);
    le(out, 2, 2);
    le(out, 16, 2);
    out += "data";
    le(out, dataBytes, 4);
    for (std::int16_t v : s.samples) le(out, static_cast<std::uint16_t>(v), 2);
    return writeFileAtomic(path, out);
}

// ---- live speech

struct Speaker::Session : SynthTarget {
    std::string text;
    std::string voice;
    double rate = 0;
    SpeechEvents events;

    std::atomic<bool> stopped{false};
    std::atomic<bool> running{true};
    std::mutex m;
    std::condition_variable cv;
    bool pauseWanted = false;
    bool isPaused = false;

    std::unique_ptr<AudioOutput> out;
    std::optional<WordMapper> mapper;
    long samplesDone = 0;
    int sampleRate = 0;

    void requestStop() {
        stopped = true;
        std::lock_guard lock(m);
        cv.notify_all();
    }

    // Writes in slices of about 20 ms so that a stop is heard at once.
    bool play(const short* wav, std::size_t count) {
        const std::size_t slice = static_cast<std::size_t>(sampleRate / 50);
        for (std::size_t at = 0; at < count; at += slice) {
            if (stopped) return false;
            out->write(wav + at, std::min(slice, count - at));
        }
        return !stopped;
    }

    // At a word boundary: waits while a pause is wanted. False when stopped.
    bool boundary() {
        std::unique_lock lock(m);
        if (!pauseWanted) return !stopped;
        isPaused = true;
        lock.unlock();
        if (events.paused) events.paused();
        lock.lock();
        cv.wait(lock, [&] { return !pauseWanted || stopped; });
        isPaused = false;
        lock.unlock();
        if (stopped) return false;
        if (events.resumed) events.resumed();
        return true;
    }

    bool chunk(const short* wav, int count, const espeak_EVENT* ev) override {
        if (stopped) return false;
        struct Mark {
            std::size_t at;
            SpokenWord word;
        };
        std::vector<Mark> marks;
        for (; ev->type != espeakEVENT_LIST_TERMINATED; ++ev) {
            auto w = mapper->convert(*ev);
            if (!w) continue;
            long at =
                static_cast<long>(static_cast<long long>(ev->audio_position) * sampleRate / 1000) -
                samplesDone;
            marks.push_back({static_cast<std::size_t>(std::clamp<long>(at, 0, count)), *w});
        }
        std::size_t pos = 0;
        for (const auto& mark : marks) {
            if (mark.at > pos && !play(wav + pos, mark.at - pos)) return false;
            pos = std::max(pos, mark.at);
            if (!boundary()) return false;
            if (events.word) events.word(mark.word);
        }
        if (wav && static_cast<std::size_t>(count) > pos &&
            !play(wav + pos, static_cast<std::size_t>(count) - pos))
            return false;
        samplesDone += count;
        return !stopped;
    }

    void run() {
        SpeechEnd end = SpeechEnd::stopped;
        std::string error;
        if (!stopped) {
            std::lock_guard lock(engineMutex());
            sampleRate = ensureEngine();
            if (sampleRate > 0) {
                out = openAudioOutput(sampleRate);
                gLastOutput = out->kind();
                mapper.emplace(text);
            }
            Status s = runSynthesis(text, voice, rate, *this);
            if (stopped) {
                if (out) out->flush();
                espeak_Cancel();
            } else if (!s) {
                end = SpeechEnd::failed;
                error = s.error();
            } else {
                if (out) out->drain();
                end = stopped ? SpeechEnd::stopped : SpeechEnd::finished;
            }
            out.reset();
        }
        running = false;
        if (events.ended) events.ended(end, error);
    }
};

namespace {
std::mutex gCurrentMutex;
std::weak_ptr<Speaker::Session> gCurrent;
}  // namespace

Speaker::Speaker() = default;

Speaker::~Speaker() {
    stop();
}

void Speaker::speak(std::string text, std::string voiceId, double wpm, SpeechEvents events) {
    stop();
    auto s = std::make_shared<Session>();
    s->text = std::move(text);
    s->voice = std::move(voiceId);
    s->rate = wpm;
    s->events = std::move(events);
    {
        std::lock_guard lock(gCurrentMutex);
        if (auto other = gCurrent.lock()) other->requestStop();
        gCurrent = s;
    }
    session_ = s;
    Dispatch::serial("speech").async([s] { s->run(); });
}

void Speaker::pause() {
    if (!session_ || !session_->running || session_->stopped) return;
    std::lock_guard lock(session_->m);
    session_->pauseWanted = true;
}

bool Speaker::resume() {
    if (!session_ || !session_->running) return false;
    std::lock_guard lock(session_->m);
    if (!session_->pauseWanted) return false;
    session_->pauseWanted = false;
    session_->cv.notify_all();
    return true;
}

void Speaker::stop() {
    if (session_) session_->requestStop();
    session_.reset();
}

bool Speaker::speaking() const {
    return session_ && session_->running && !session_->stopped;
}

bool Speaker::paused() const {
    if (!session_) return false;
    std::lock_guard lock(session_->m);
    return session_->isPaused;
}

}  // namespace cvl::speech
