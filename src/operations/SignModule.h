// The signing view's operations: runs over several documents ("signrun", "signrunnext",
// "signrunprev"), replaying a saved placement on copies of the same form ("signreplayready"),
// importing a signature picture ("signimport"), finding signing stops ("signstops", also as a
// script message, with the "sagap" rule-gap reports), and saving the signed copy ("signsave"),
// one document or the same placement applied to every copy of the form.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "operations/SignedCopy.h"
#include "window/BridgeModule.h"

namespace cvl {

class SignModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override {
        return {"signrun",    "signrunnext", "signrunprev",     "signsave",
                "signimport", "signstops",   "signreplayready", "printsaved"};
    }
    std::vector<std::string> messages() const override { return {"signstops", "sagap"}; }
    void handle(const BridgeRequest& request) override;
    void handleMessage(const ScriptMessage& message) override;

    // A document run: the documents in order, its name, and the placement saved last in it.
    struct Run {
        std::vector<std::string> paths;
        std::string name;
        std::optional<SignPlan> plan;
        std::string planSource;
    };
    // Apply-to-all state of a window.
    struct ApplyState {
        long long gen = 0;  // bumped by each new run; a superseded run stops
        std::vector<std::string> queue;
        std::vector<std::string> done;
        std::string dest;
        std::string spec;  // the placement, as the page described it
        bool pending = false;
    };

    std::optional<Run> run(const std::string& id);
    ApplyState applyState(const std::string& windowKey);

  private:
    void startRun(const BridgeRequest& request);
    void stepRun(const BridgeRequest& request, int delta);
    void openInRun(const std::string& runId, int position, const WindowHandle* inWindow,
                   AppActions& app);
    void replayReady(const BridgeRequest& request);
    void importImage(const BridgeRequest& request);
    void signStops(const WindowSnapshot& window, const WindowHandle& page,
                   const std::vector<int>& pages, const std::string& tokenJson);
    void ruleGaps(const ScriptMessage& message);
    void save(const BridgeRequest& request);
    void saveOne(const BridgeRequest& request, const std::string& runId, const SignPlan& plan,
                 const SignedCopy& copy, std::string bytes);
    void applyToAll(const BridgeRequest& request, const std::string& runId, const SignPlan& plan,
                    const SignedCopy& copy, std::string bytes);
    void rememberPlan(const std::string& runId, const SignPlan& plan, const std::string& source);

    std::mutex lock_;
    std::map<std::string, Run> runs_;
    std::map<std::string, ApplyState> apply_;
    std::map<std::string, std::string> lastSaved_;  // window key -> the signed copy saved last
    int nextRun_ = 0;
};

}  // namespace cvl
