// Read aloud and translation against the tools a user would otherwise run, side by side in
// the same run:
//   time to the first spoken word: Corvello's speaker (from speak() to the first word report)
//     against espeak-ng's command line (from start to its first sound bytes on stdout);
//   translation throughput: a page translation (detection, pair check, one batch with a
//     partial per paragraph) against apertium's command line on the same text.
// Usage: bench_voice_ai [RUNS]   (prints one line per measure with the ratio)
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "agent/PageTranslation.h"
#include "platform/ProcessRunner.h"
#include "platform/speech/Speech.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

const char* kSentence =
    "The tenant shall pay the monthly rent on the first day of each month, and the landlord "
    "keeps the deposit until the lease ends.";

double ourFirstWord() {
    cvl::speech::Speaker speaker;
    std::mutex m;
    std::condition_variable cv;
    bool worded = false, ended = false;
    Clock::time_point first;
    cvl::speech::SpeechEvents events;
    events.word = [&](const cvl::speech::SpokenWord&) {
        std::lock_guard lock(m);
        if (!worded) first = Clock::now();
        worded = true;
        cv.notify_all();
    };
    events.ended = [&](cvl::speech::SpeechEnd, const std::string&) {
        std::lock_guard lock(m);
        ended = true;
        cv.notify_all();
    };
    const auto start = Clock::now();
    speaker.speak(kSentence, "gmw/en-US", 175, events);
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return worded || ended; });
    const double took = ms(first - start);
    lock.unlock();
    speaker.stop();
    lock.lock();
    cv.wait(lock, [&] { return ended; });
    return took;
}

double peerFirstSound() {
    cvl::ProcessSpec spec;
    spec.program = "espeak-ng";
    spec.args = {"--stdout", "-v", "en-us", kSentence};
    bool seen = false;
    Clock::time_point first;
    spec.onStdout = [&](std::string_view) {
        if (!seen) first = Clock::now();
        seen = true;
    };
    const auto start = Clock::now();
    cvl::ProcessResult r = cvl::runProcess(spec);
    return r.succeeded() && seen ? ms(first - start) : -1;
}

std::string spanishText(int paragraphs) {
    const char* sentences[] = {
        "El contrato fue firmado en Madrid por las dos partes el año pasado.",
        "El inquilino pagará la renta mensual el primer día de cada mes.",
        "El propietario conserva el depósito hasta que termine el arrendamiento.",
        "Los retrasos en el pago tienen un recargo de cincuenta euros.",
        "Las partes acuerdan resolver cualquier disputa ante los tribunales de la ciudad.",
    };
    std::string out;
    for (int p = 0; p < paragraphs; ++p) {
        if (p) out += "\n\n";
        for (int s = 0; s < 4; ++s) out += std::string(sentences[(p + s) % 5]) + " ";
    }
    return out;
}

int words(const std::string& text) {
    int n = 0;
    bool in = false;
    for (char c : text) {
        const bool space = c == ' ' || c == '\n';
        if (!space && !in) ++n;
        in = !space;
    }
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    setenv("CVL_SPEECH_OUTPUT",
           std::getenv("CVL_SPEECH_OUTPUT") ? std::getenv("CVL_SPEECH_OUTPUT") : "clock", 0);
    cvl::speech::installedVoices();  // the voice list is read once per process
    std::vector<double> ours, peer;
    for (int i = 0; i < runs; ++i) {
        ours.push_back(ourFirstWord());
        peer.push_back(peerFirstSound());
    }
    const double o = median(ours), p = median(peer);
    std::printf(
        "first spoken word        corvello %7.1f ms   espeak-ng --stdout %7.1f ms   ratio %.2f"
        "   (output: %s, median of %d)\n",
        o, p, p > 0 ? o / p : 0.0, cvl::speech::lastOutputKind().c_str(), runs);

    const std::string text = spanishText(40);
    const int n = words(text);
    std::vector<double> ourRate, peerRate;
    for (int i = 0; i < std::max(1, runs / 3); ++i) {
        auto t0 = Clock::now();
        auto outcome = cvl::PageTranslation::translate(text, "auto", "en", nullptr);
        const double s = ms(Clock::now() - t0) / 1000;
        if (!std::holds_alternative<std::string>(outcome)) {
            std::printf("translation failed: %s\n",
                        std::get<cvl::CvlNativeAI::Failure>(outcome).message.c_str());
            return 1;
        }
        ourRate.push_back(n / s);
        cvl::ProcessSpec spec;
        spec.program = "apertium";
        spec.args = {"-u", "spa-eng"};
        spec.input = text;
        t0 = Clock::now();
        cvl::ProcessResult r = cvl::runProcess(spec);
        if (!r.succeeded()) return 1;
        peerRate.push_back(n / (ms(Clock::now() - t0) / 1000));
    }
    const double ow = median(ourRate), pw = median(peerRate);
    std::printf(
        "translation (%d words)  corvello %7.0f words/s   apertium %7.0f words/s   ratio %.2f\n", n,
        ow, pw, pw > 0 ? ow / pw : 0.0);
    return 0;
}
