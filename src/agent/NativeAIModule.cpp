#include "agent/NativeAIModule.h"

#include "agent/CvlNativeAI.h"
#include "agent/PageTranslation.h"
#include "platform/Dispatch.h"
#include "platform/SysLog.h"

namespace cvl {

void NativeAIModule::handleMessage(const ScriptMessage& message) {
    using namespace CvlNativeAI;
    Validation v = validRequest(message.action, message.body);
    const WindowHandle page = message.page;
    if (v.oversized) {
        cvlLog("native-ai: refused an oversized %s", message.action.c_str());
        page.run(replyScript(v.id, false, sizeLimitMessage(message.action), "size_limit"));
        return;
    }
    if (!v.request) {
        cvlLog("native-ai: dropped a malformed %s request from the page", message.action.c_str());
        return;
    }
    Request r = std::move(*v.request);
    Dispatch::global().async([r = std::move(r), page] {
        auto reply = [&](bool ok, const std::string& payload, const std::string& code) {
            page.run(replyScript(r.id, ok, payload, code));
        };
        if (r.action == "aistatus") {
            reply(true, statusPayload(runFM({"--status"}, std::nullopt, kStatusTimeout)), "");
        } else if (r.action == "ask") {
            auto outcome = askOutcome(runFM(askArgs(r.system, r.maxTokens), r.prompt, kAskTimeout));
            if (auto* answer = std::get_if<std::string>(&outcome))
                reply(true, *answer, "");
            else {
                const auto& f = std::get<CvlNativeAI::Failure>(outcome);
                reply(false, f.message, f.code);
            }
        } else {
            auto outcome = PageTranslation::translate(
                r.text, r.from, r.to,
                [&](const std::string& soFar) { page.run(partialScript(r.id, soFar)); });
            if (auto* text = std::get_if<std::string>(&outcome))
                reply(true, *text, "");
            else {
                const auto& f = std::get<CvlNativeAI::Failure>(outcome);
                reply(false, f.message, f.code);
            }
        }
    });
}

}  // namespace cvl
