// Read aloud through its bridge operations, with the real synthesizer and a fake page: the
// words reported against the page's text, generations, pause and stop, the display activity,
// and the voice orders of the automatic choice and the settings list.
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "app/Config.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfDocument.h"
#include "platform/speech/Speech.h"
#include "support/ModuleFakes.h"
#include "support/TempHome.h"
#include "window/CvlSpeech.h"
#include "window/ReadAloud.h"
#include "window/ReadAloudVoices.h"

namespace cvl {
namespace {

using speech::Voice;
using speech::VoiceQuality;

std::u16string utf16(const std::string& s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = n == 1 ? c : c & (0x3F >> (n - 1));
        for (int k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += static_cast<std::size_t>(n);
    }
    return out;
}

// The numbers and texts between the parentheses of each call of `fn`, as a JSON array.
std::vector<nlohmann::json> argsOf(const test::FakeWindow& w, const std::string& fn) {
    std::vector<nlohmann::json> out;
    for (const auto& s : w.callsOf(fn)) {
        const auto open = s.find(fn + "(") + fn.size() + 1;
        std::string args = s.substr(open, s.find(")}catch") - open);
        for (auto& c : args)
            if (c == '\'') c = '"';
        out.push_back(nlohmann::json::parse("[" + args + "]"));
    }
    return out;
}

struct SpeechEnv {
    explicit SpeechEnv(const char* output) { ::setenv("CVL_SPEECH_OUTPUT", output, 1); }
    ~SpeechEnv() { ::unsetenv("CVL_SPEECH_OUTPUT"); }
};

struct ReadAloudFixture : ::testing::Test {
    test::TempHome home;
    test::ModuleHarness h;
    ReadAloudModule module;

    void pageText(const std::string& text) { h.window->values = {{"__cvlSpeakText", text}}; }
    void send(const std::string& url) { module.handle(h.request(url)); }
    bool waitFor(const std::string& fn, std::size_t count = 1) {
        return h.runUntil([&] { return h.window->callsOf(fn).size() >= count; }, 20000);
    }
    // The words the page was told about, as texts of the page's text.
    std::vector<std::string> spokenWords(const std::string& text, long long gen) {
        const std::u16string t = utf16(text);
        std::vector<std::string> out;
        for (const auto& a : argsOf(*h.window, "cvlSpeakRange")) {
            if (a[2] != gen) continue;
            std::u16string w = t.substr(a[0].get<std::size_t>(), a[1].get<std::size_t>());
            std::string narrow;
            for (char16_t c : w) narrow += c < 0x80 ? static_cast<char>(c) : '?';
            out.push_back(narrow);
        }
        return out;
    }
};

TEST(SpeechWords, RangesOfNonAsciiTextPointAtItsWordsInUtf16) {
    // "𝔸" takes two UTF-16 units: every later range must account for it.
    const std::string text = "Café über 𝔸 naïve résumé, déjà vu.";
    auto s = speech::synthesize(text, "", 175);
    ASSERT_TRUE(s.ok()) << s.error();
    const std::u16string t = utf16(text);
    std::vector<std::u16string> words;
    for (const auto& w : s->words) {
        ASSERT_LE(w.loc + w.len, t.size());
        words.push_back(t.substr(w.loc, w.len));
    }
    for (const char* want : {"Café", "über", "naïve", "résumé", "déjà", "vu"})
        EXPECT_NE(std::find(words.begin(), words.end(), utf16(want)), words.end()) << want;
    for (std::size_t i = 1; i < s->words.size(); ++i) {
        EXPECT_GT(s->words[i].loc, s->words[i - 1].loc);
        EXPECT_GE(s->words[i].ms, s->words[i - 1].ms);
    }
    EXPECT_GT(s->samples.size(), static_cast<std::size_t>(s->sampleRate));  // over a second
}

TEST(SpeechWords, ARateFarAboveTheMaximumSpeaksAtTheMaximum) {
    const std::string text = "The rate is clamped to what the synthesizer can do.";
    auto fastest = speech::synthesize(text, "", speech::rateRange().maximum);
    auto beyond = speech::synthesize(text, "", 100000);
    auto normal = speech::synthesize(text, "", speech::rateRange().normal);
    ASSERT_TRUE(fastest.ok() && beyond.ok() && normal.ok());
    // espeak-ng varies a take by a few samples; the length is what the rate sets.
    const double ratio = double(beyond->samples.size()) / double(fastest->samples.size());
    EXPECT_NEAR(ratio, 1.0, 0.02);
    EXPECT_LT(fastest->samples.size() * 2, normal->samples.size());
    EXPECT_FALSE(speech::synthesize(text, "no/such-voice", 175).ok());
}

TEST_F(ReadAloudFixture, ReportsEachWordInOrderThenDoneWhileHoldingTheDisplayAwake) {
    SpeechEnv quick("none");
    const std::string text = "  \n Ångström rules: read the naïve clause twice.";
    pageText(text);
    send("qrtiz://speak?rate=220&gen=7");
    ASSERT_TRUE(waitFor("cvlSpeakDone"));
    EXPECT_EQ(spokenWords(text, 7), (std::vector<std::string>{"?ngstr?m", "rules", "read", "the",
                                                              "na?ve", "clause", "twice"}));
    EXPECT_EQ(argsOf(*h.window, "cvlSpeakDone"), std::vector<nlohmann::json>{{7}});
    EXPECT_EQ(argsOf(*h.window, "cvlSpeakState").front(), nlohmann::json({"playing", 7}));
    EXPECT_EQ(h.app.calls, std::vector<std::string>{"inhibit Corvello read-aloud"});
    EXPECT_EQ(h.app.idleHolds, 0);  // released at the end
}

TEST_F(ReadAloudFixture, BlankTextIsDoneAtOnceWithoutKeepingTheDisplayAwake) {
    pageText(" \n\t ");
    send("qrtiz://speak");  // no gen: the window's generation + 1
    h.drain();
    EXPECT_EQ(argsOf(*h.window, "cvlSpeakDone"), std::vector<nlohmann::json>{{1}});
    EXPECT_TRUE(h.app.calls.empty());
    EXPECT_TRUE(h.window->callsOf("cvlSpeakState").empty());
}

TEST_F(ReadAloudFixture, OfTwoQuickStartsOnlyTheSecondIsSpoken) {
    SpeechEnv quick("none");
    const std::string text = "Only once please.";
    pageText(text);
    send("qrtiz://speak?gen=1");
    send("qrtiz://speak?gen=2");
    ASSERT_TRUE(waitFor("cvlSpeakDone"));
    h.drain();
    EXPECT_TRUE(spokenWords(text, 1).empty());
    EXPECT_EQ(spokenWords(text, 2), (std::vector<std::string>{"Only", "once", "please"}));
    EXPECT_EQ(argsOf(*h.window, "cvlSpeakDone"), std::vector<nlohmann::json>{{2}});
}

TEST_F(ReadAloudFixture, PauseHoldsAtAWordBoundaryAndResumeGoesOnWithoutLosingAWord) {
    SpeechEnv paced("clock");
    const std::string text = "one two three four five six seven eight";
    pageText(text);
    send("qrtiz://speak?gen=3&rate=450");
    send("qrtiz://speakresume");  // not paused: nothing happens
    ASSERT_TRUE(waitFor("cvlSpeakRange", 2));
    send("qrtiz://speakpause");
    ASSERT_TRUE(waitFor("cvlSpeakState", 2));
    const auto atPause = h.window->callsOf("cvlSpeakRange").size();
    EXPECT_EQ(argsOf(*h.window, "cvlSpeakState")[1], nlohmann::json({"paused", 3}));
    EXPECT_EQ(h.app.idleHolds, 1);
    send("qrtiz://speakresume");
    ASSERT_TRUE(waitFor("cvlSpeakDone"));
    EXPECT_EQ(argsOf(*h.window, "cvlSpeakState"),
              (std::vector<nlohmann::json>{{"playing", 3}, {"paused", 3}, {"playing", 3}}));
    EXPECT_LT(atPause, 8u);
    EXPECT_EQ(spokenWords(text, 3), (std::vector<std::string>{"one", "two", "three", "four", "five",
                                                              "six", "seven", "eight"}));
}

TEST_F(ReadAloudFixture, StopEndsAtOnceAndLetsTheDisplaySleep) {
    SpeechEnv paced("clock");
    pageText("This sentence is long enough that it is still being read when the stop comes.");
    send("qrtiz://speak?gen=4");
    ASSERT_TRUE(waitFor("cvlSpeakRange"));
    send("qrtiz://speakstop");
    EXPECT_EQ(h.app.idleHolds, 0);
    ASSERT_TRUE(waitFor("cvlSpeakState", 2));
    const auto ranges = h.window->callsOf("cvlSpeakRange").size();
    EXPECT_EQ(argsOf(*h.window, "cvlSpeakState").back(), nlohmann::json({"stopped", 4}));
    // A later reading starts from the advanced generation when the page sends none.
    pageText("Next.");
    send("qrtiz://speak");
    ASSERT_TRUE(waitFor("cvlSpeakDone"));
    EXPECT_EQ(argsOf(*h.window, "cvlSpeakDone"), std::vector<nlohmann::json>{{6}});
    EXPECT_EQ(spokenWords("This sentence is long enough", 4).size(), ranges);
}

TEST(CvlSpeak, WritesTheWavOfOnePageAndItsWordRanges) {
    test::TempHome home;
    PdfDocument doc;
    doc.insertTextPage(0, PdfRect{0, 0, 612, 792}, {"First page."}, 20);
    doc.insertTextPage(1, PdfRect{0, 0, 612, 792}, {"Señor Muñoz signed twice."}, 20);
    ASSERT_TRUE(doc.saveToFile(home / "deed.pdf").ok());
    const std::string wav = home / "deed.wav";
    testing::internal::CaptureStdout();
    const int status = cvlSpeakMain({home / "deed.pdf", "--page", "2", "--wav", wav});
    const auto out = nlohmann::json::parse(testing::internal::GetCapturedStdout());
    ASSERT_EQ(status, 0) << out.dump();
    const std::u16string text = utf16(out["text"].get<std::string>());
    std::vector<std::u16string> words;
    for (const auto& w : out["words"]) words.push_back(text.substr(w["loc"], w["len"]));
    EXPECT_EQ(words, (std::vector<std::u16string>{u"Señor", u"Muñoz", u"signed", u"twice"}));
    auto bytes = readFile(wav);
    ASSERT_TRUE(bytes && bytes->size() > 44);
    EXPECT_EQ(bytes->substr(0, 4), "RIFF");
    EXPECT_EQ(bytes->substr(8, 8), "WAVEfmt ");
    // A file that is not a WAV is never replaced, and bad arguments exit 2.
    EXPECT_TRUE(writeFileAtomic(home / "notes.txt", "keep me").ok());
    testing::internal::CaptureStdout();
    EXPECT_EQ(cvlSpeakMain({home / "deed.pdf", "--wav", home / "notes.txt"}), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(readFile(home / "notes.txt"), "keep me");
    EXPECT_EQ(cvlSpeakMain({home / "deed.pdf"}), 2);
}

TEST(ReadAloudVoiceChoice, ChoicePutsAmericanFirstWhileTheListPutsQualityFirst) {
    test::TempHome home;
    const std::vector<Voice> voices = {
        {"gmw/en", "English (Great Britain)", "en-GB", VoiceQuality::standard},
        {"mb/mb-en1", "British MBROLA", "en-GB", VoiceQuality::enhanced},
        {"gmw/en-US", "English (America)", "en-US", VoiceQuality::standard},
        {"roa/fr", "French", "fr-FR", VoiceQuality::premium},
    };
    std::optional<std::string> cached;
    EXPECT_EQ(ReadAloudVoices::bestVoice(voices, "not/installed", cached), "gmw/en-US");
    EXPECT_EQ(cached, "gmw/en-US");
    EXPECT_EQ(ReadAloudVoices::bestVoice(voices, "gmw/en", cached), "gmw/en");
    auto list = nlohmann::json::parse(ReadAloudVoices::optionsJSON(voices));
    ASSERT_EQ(list.size(), 3u);  // English only
    EXPECT_EQ(list[0],
              nlohmann::json({{"id", "mb/mb-en1"}, {"label", "British MBROLA (Enhanced, en-GB)"}}));
    EXPECT_EQ(list[1]["id"], "gmw/en-US");
    EXPECT_EQ(list[2]["label"], "English (Great Britain) (Standard, en-GB)");
    // The installed voices include espeak-ng's American English under that language tag.
    auto installed = nlohmann::json::parse(ReadAloudVoices::optionsJSON(speech::installedVoices()));
    ASSERT_FALSE(installed.empty());
    EXPECT_EQ(installed[0]["label"], "English (America) (Standard, en-US)");
}

}  // namespace
}  // namespace cvl
