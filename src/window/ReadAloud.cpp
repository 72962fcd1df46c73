#include "window/ReadAloud.h"

#include <cerrno>
#include <cstdlib>

#include "app/Config.h"
#include "platform/Dispatch.h"
#include "platform/SysLog.h"
#include "platform/speech/Speech.h"
#include "window/PageScript.h"
#include "window/ReadAloudVoices.h"

namespace cvl {

namespace {

constexpr const char* kAwakeReason = "Corvello read-aloud";

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

namespace ReadAloud {

double parseRate(const std::optional<std::string>& text) {
    const double normal = speech::rateRange().normal;
    if (!text || text->empty()) return normal;
    char* end = nullptr;
    const double v = std::strtod(text->c_str(), &end);
    if (end != text->c_str() + text->size() || !(v == v)) return normal;
    return speech::clampRate(v);
}

std::optional<long long> parseGeneration(const std::optional<std::string>& text) {
    if (!text || text->empty()) return std::nullopt;
    std::size_t i = (*text)[0] == '-' || (*text)[0] == '+' ? 1 : 0;
    if (i == text->size()) return std::nullopt;
    for (std::size_t k = i; k < text->size(); ++k)
        if ((*text)[k] < '0' || (*text)[k] > '9') return std::nullopt;
    errno = 0;
    long long v = std::strtoll(text->c_str(), nullptr, 10);
    if (errno == ERANGE) return std::nullopt;
    return v;
}

}  // namespace ReadAloud

// One window's reading: its generation, cached voice, held display activity and synthesizer.
// Used on the main thread only.
struct ReadAloudModule::Reader {
    long long gen = 0;
    std::optional<std::string> voice;
    std::unique_ptr<Holder> awake;
    speech::Speaker speaker;
    WindowHandle page;

    void state(const char* what, long long g) const {
        page.call("cvlSpeakState", PageScript::single(what) + "," + std::to_string(g));
    }
};

ReadAloudModule::ReadAloudModule() = default;
ReadAloudModule::~ReadAloudModule() = default;

std::vector<std::string> ReadAloudModule::operations() const {
    return {"speak", "speakpause", "speakresume", "speakstop"};
}

std::shared_ptr<ReadAloudModule::Reader> ReadAloudModule::readerFor(const BridgeRequest& request) {
    // Readings of windows that have gone are stopped and forgotten.
    for (auto it = readers_.begin(); it != readers_.end();)
        it = it->second->page.alive() ? std::next(it) : readers_.erase(it);
    const std::string key = request.window.bridgeId + "#" + std::to_string(request.window.number);
    auto& reader = readers_[key];
    if (!reader) reader = std::make_shared<Reader>();
    reader->page = request.page;
    return reader;
}

void ReadAloudModule::handle(const BridgeRequest& request) {
    auto reader = readerFor(request);
    if (request.op == "speak") {
        start(request, reader);
    } else if (request.op == "speakpause") {
        reader->speaker.pause();
    } else if (request.op == "speakresume") {
        reader->speaker.resume();
    } else if (request.op == "speakstop") {
        reader->gen += 1;
        reader->speaker.stop();
        reader->awake.reset();
    }
}

void ReadAloudModule::start(const BridgeRequest& request, const std::shared_ptr<Reader>& reader) {
    const double rate = ReadAloud::parseRate(request.arg("rate"));
    const long long gen = ReadAloud::parseGeneration(request.arg("gen")).value_or(reader->gen + 1);
    reader->speaker.stop();
    reader->gen = gen;
    std::weak_ptr<Reader> weak = reader;
    AppActions* app = &request.app;
    request.page.read(
        "window.__cvlSpeakText || ''", [weak, gen, rate, app](std::optional<std::string> answer) {
            auto r = weak.lock();
            // The window has gone, or a newer start or a stop came in since.
            if (!r || r->gen != gen || !r->page.alive()) return;
            std::string text = answer.value_or("");
            std::size_t first = 0, last = text.size();
            while (first < last && isSpace(text[first])) ++first;
            while (last > first && isSpace(text[last - 1])) --last;
            if (first == last) {
                r->page.call("cvlSpeakDone", std::to_string(gen));
                return;
            }
            const std::string voice = ReadAloudVoices::bestVoice(
                speech::installedVoices(), cfgString("tts_voice", "auto"), r->voice);
            if (!r->awake) r->awake = app->inhibitIdle(kAwakeReason);

            // Reports come on the speech thread; each hops to the main queue and is checked
            // against the window's generation there. Ranges count from the start of the page's
            // text, leading white space included.
            const std::size_t lead =
                speech::Utf16Positions(std::string_view(text).substr(0, first)).offsetOf(first);
            speech::SpeechEvents events;
            events.word = [weak, gen, lead](const speech::SpokenWord& w) {
                Dispatch::main().async([weak, gen, lead, w] {
                    auto r = weak.lock();
                    if (!r || r->gen != gen) return;
                    if (!r->page.alive()) return r->speaker.stop();
                    r->page.call("cvlSpeakRange", std::to_string(w.loc + lead) + "," +
                                                      std::to_string(w.len) + "," +
                                                      std::to_string(gen));
                });
            };
            events.paused = [weak, gen] {
                Dispatch::main().async([weak, gen] {
                    if (auto r = weak.lock(); r && r->gen == gen) r->state("paused", gen);
                });
            };
            events.resumed = [weak, gen] {
                Dispatch::main().async([weak, gen] {
                    if (auto r = weak.lock(); r && r->gen == gen) r->state("playing", gen);
                });
            };
            events.ended = [weak, gen](speech::SpeechEnd end, const std::string& error) {
                Dispatch::main().async([weak, gen, end, error] {
                    auto r = weak.lock();
                    if (!r) return;
                    if (end == speech::SpeechEnd::stopped) {
                        // The stopped reading's own generation, so that the page can tell it from
                        // a newer one.
                        if (r->gen == gen) r->awake.reset();
                        r->state("stopped", gen);
                        return;
                    }
                    if (r->gen != gen) return;
                    r->awake.reset();
                    if (end == speech::SpeechEnd::failed) {
                        cvlLog("read aloud: %s", error.c_str());
                        r->page.toast(error);
                        r->state("stopped", gen);
                        return;
                    }
                    r->page.call("cvlSpeakDone", std::to_string(gen));
                });
            };
            r->speaker.speak(text.substr(first, last - first), voice, rate, std::move(events));
            r->state("playing", gen);
        });
}

}  // namespace cvl
