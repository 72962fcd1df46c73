// The reader's on-device AI messages through their module: which requests are answered, the
// model helper's time-out and exit statuses (with fake helpers), and translation with the
// installed Apertium pair.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "agent/CvlNativeAI.h"
#include "agent/NativeAIModule.h"
#include "agent/PageTranslation.h"
#include "platform/FileIO.h"
#include "support/ModuleFakes.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

using nlohmann::json;

struct NativeAITest : ::testing::Test {
    test::TempHome home;
    test::ModuleHarness h;
    NativeAIModule module;

    ~NativeAITest() override { ::unsetenv("CVL_FM_BIN"); }

    // A fake cvl-fm: records its arguments and input, then runs `body`.
    void fakeHelper(const std::string& body) {
        const std::string path = home / "cvl-fm";
        EXPECT_TRUE(writeFileAtomic(path,
                                    "#!/bin/sh\necho \"$@\" > \"" + (home / "args") +
                                        "\"\ncat > \"" + (home / "stdin") + "\"\n" + body + "\n",
                                    0755)
                        .ok());
        ::setenv("CVL_FM_BIN", path.c_str(), 1);
    }
    void post(const std::string& action, const json& body) {
        module.handleMessage(h.message(action, body.dump()));
    }
    // The arguments of every CorvelloMacAI._reply (or _partial) call, as JSON arrays.
    std::vector<json> calls(const std::string& member) {
        std::vector<json> out;
        for (const auto& s : h.window->scripts) {
            const std::string head = "CorvelloMacAI." + member + "(";
            auto at = s.find("{try{" + head);
            if (at == std::string::npos) continue;
            at += 5 + head.size();
            out.push_back(json::parse("[" + s.substr(at, s.rfind(")}catch") - at) + "]"));
        }
        return out;
    }
    json replyTo(const std::string& action, const json& body) {
        const auto before = calls("_reply").size();
        post(action, body);
        EXPECT_TRUE(h.runUntil([&] { return calls("_reply").size() > before; }, 60000));
        auto all = calls("_reply");
        return all.size() > before ? all.back() : json();
    }
};

TEST_F(NativeAITest, OnlyWellFormedRequestsAreAnsweredAndOversizedOnesAreRefusedAtOnce) {
    ::setenv("CVL_FM_BIN", (home / "none").c_str(), 1);
    post("ask", {{"id", std::string(21, 'a')}, {"prompt", "q"}});
    post("ask", {{"id", "id\xC3\xA9"}, {"prompt", "q"}});
    post("ask", {{"id", "a1"}, {"prompt", "q"}, {"maxTokens", "many"}});
    post("translate", {{"id", "t1"}, {"text", "hola"}, {"to", "auto"}});
    post("translate", {{"id", "t2"}, {"text", "hola"}, {"from", "spanish"}, {"to", "en"}});
    post("shout", {{"id", "x"}});
    module.handleMessage(h.message("aistatus", "not json"));
    post("translate", {{"id", "big"}, {"text", std::string(200001, 'a')}, {"to", "en"}});
    h.drain();
    EXPECT_EQ(calls("_reply"),
              std::vector<json>{json::array({"big", false,
                                             "That is more text than one translation takes. "
                                             "Translate a page or a selection at a time.",
                                             "size_limit"})});
    // With no helper installed, the status says so.
    EXPECT_EQ(replyTo("aistatus", {{"id", "s"}}),
              json::array({"s", true, R"({"available":false,"reason":"helperMissing"})", ""}));
}

TEST_F(NativeAITest, HelperExitStatusesMapToTheirReplies) {
    struct Case {
        std::string body;
        json reply;
    };
    const std::vector<Case> cases = {
        {"printf '  The answer.\\n'", {true, "The answer.", ""}},
        {"exit 0", {false, "No answer came back. Try asking a different way.", "empty"}},
        {"exit 2", {false, nullptr, "unavailable"}},
        {"exit 4", {false, nullptr, "context"}},
        {"exit 5", {false, nullptr, "timeout"}},
        {"echo 'blocked as unsafe' >&2; exit 3", {false, nullptr, "guardrail"}},
        {"echo 'out of memory' >&2; exit 9",
         {false, "The on-device model stopped: out of memory", "error"}},
    };
    for (const auto& c : cases) {
        fakeHelper(c.body);
        json r = replyTo("ask", {{"id", "q"}, {"prompt", "What is due?"}, {"system", "Be brief."}});
        ASSERT_EQ(r.size(), 4u) << c.body;
        EXPECT_EQ(r[1], c.reply[0]) << c.body;
        EXPECT_EQ(r[3], c.reply[2]) << c.body;
        if (!c.reply[1].is_null()) {
            EXPECT_EQ(r[2], c.reply[1]) << c.body;
        }
        // No other platform's settings are named to the user.
        EXPECT_EQ(r[2].get<std::string>().find("Apple"), std::string::npos) << c.body;
    }
    EXPECT_EQ(readFile(home / "args"), "--ask --max-tokens 700 --instructions Be brief.\n");
    EXPECT_EQ(readFile(home / "stdin"), "What is due?");
}

TEST_F(NativeAITest, AHelperPastItsTimeOutIsTerminatedThenKilled) {
    // Ignores the polite signal: only the kill ends it.
    fakeHelper("trap '' TERM\necho $$ > \"" + (home / "pid") + "\"\nwhile :; do sleep 1; done");
    const auto start = std::chrono::steady_clock::now();
    auto r = CvlNativeAI::runFM({"--ask"}, std::string("q"), std::chrono::milliseconds(300));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.err, "timed out");
    EXPECT_NE(r.code, 0);
    EXPECT_GE(took, std::chrono::milliseconds(2000));  // the 2 s of grace before the kill
    EXPECT_LT(took, std::chrono::milliseconds(20000));
    auto pid = readFile(home / "pid");
    ASSERT_TRUE(pid);
    EXPECT_NE(::kill(std::atoi(pid->c_str()), 0), 0);  // gone
}

TEST_F(NativeAITest, TheEngineHelperAnswersWithALocalModelOnlyWhenOneIsSet) {
    ::setenv("CVL_FM_BIN", CVL_BINARY_DIR "/cvl-fm", 1);
    json status = json::parse(replyTo("aistatus", {{"id", "s"}})[2].get<std::string>());
    EXPECT_EQ(status["available"], false);
    EXPECT_EQ(status["reason"], "noModel");
    const json ask = {{"id", "q"}, {"prompt", "When is the rent due?"}, {"system", "Be brief."}};
    EXPECT_EQ(replyTo("ask", ask)[3], "unavailable");

    // A GGUF file named in the settings and a llama.cpp program on PATH (a stand-in that
    // answers from the prompt file it is given).
    EXPECT_TRUE(writeFileAtomic(home / "tiny.gguf", std::string("GGUF\x03\0\0\0", 8)).ok());
    makeDirs(home / "Library/Application Support/Corvello");
    EXPECT_TRUE(writeFileAtomic(home / "Library/Application Support/Corvello/config.json",
                                json{{"ai_model", home / "tiny.gguf"}}.dump())
                    .ok());
    makeDirs(home / "bin");
    EXPECT_TRUE(
        writeFileAtomic(home / "bin/llama-cli",
                        "#!/bin/sh\nwhile [ $# -gt 0 ]; do [ \"$1\" = -f ] && cp \"$2\" \"" +
                            (home / "prompt") +
                            "\"; shift; done\necho 'On the first of each month. [end of text]'\n",
                        0755)
            .ok());
    const std::string oldPath = std::getenv("PATH");
    ::setenv("PATH", (home / "bin:" + oldPath).c_str(), 1);
    status = json::parse(replyTo("aistatus", {{"id", "s"}})[2].get<std::string>());
    EXPECT_EQ(status["available"], true) << status.dump();
    EXPECT_EQ(status["runner"], home / "bin/llama-cli");
    EXPECT_EQ(replyTo("ask", ask), json::array({"q", true, "On the first of each month.", ""}));
    EXPECT_EQ(readFile(home / "prompt"), "Be brief.\n\nWhen is the rent due?");
    // A question far beyond the model's context is refused as such.
    json big = ask;
    big["prompt"] = std::string(300000, 'x');
    EXPECT_EQ(replyTo("ask", big)[3], "context");
    ::setenv("PATH", oldPath.c_str(), 1);
}

TEST_F(NativeAITest, TranslatesSpanishParagraphsToEnglishWithAPartialForEach) {
    const std::string text =
        "El contrato fue firmado en Madrid por las dos partes.\r\n\r\n"
        "El precio se pagará\ren tres meses.";
    json r = replyTo("translate", {{"id", "tr"}, {"text", text}, {"to", "en"}});
    ASSERT_EQ(r[1], true) << r.dump();
    const std::string out = r[2];
    for (const char* word : {"signed", "Madrid", "price", "three", "months"})
        EXPECT_NE(out.find(word), std::string::npos) << word << " in " << out;
    EXPECT_NE(out.find("\n\n"), std::string::npos);  // two paragraphs
    auto partials = calls("_partial");
    ASSERT_EQ(partials.size(), 2u);
    EXPECT_EQ(partials[0][1].get<std::string>().find("\n\n"), std::string::npos);
    EXPECT_EQ(partials[1][1], out);
}

TEST_F(NativeAITest, PairsThatCannotBeTranslatedSayWhy) {
    auto outcome = [](const std::string& text, const std::string& from, const std::string& to) {
        auto o = PageTranslation::translate(text, from, to, nullptr);
        return std::get<CvlNativeAI::Failure>(o);
    };
    const std::string english =
        "The parties agree that the price shall be paid within three months of signing.";
    EXPECT_EQ(outcome(english, "auto", "en").message,
              "This page is already in English. Pick another language in the To menu.");
    auto missing = outcome("Bon dia a tothom.", "ca", "en");
    EXPECT_EQ(missing.code, "notInstalled");
    EXPECT_NE(missing.message.find("apertium-eng-cat"), std::string::npos);
    EXPECT_EQ(outcome(english, "en", "ja").message,
              "English to Japanese is outside what this computer translates. Pick another pair.");
    EXPECT_EQ(outcome("12 34 56", "auto", "en").code, "detect");
}

}  // namespace
}  // namespace cvl
