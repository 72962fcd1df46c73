// The agent bridge: a small HTTP/1.1 server on the loopback interface through which the
// agent server script drives the running application. Its port and token are published in
// a discovery file readable only by the user.
#pragma once

#include <memory>
#include <string>

#include "agent/AgentBridgeHost.h"

namespace cvl {

class AgentBridge {
  public:
    AgentBridge();
    ~AgentBridge();
    AgentBridge(const AgentBridge&) = delete;
    AgentBridge& operator=(const AgentBridge&) = delete;

    // The application's one bridge.
    static AgentBridge& shared();

    // "~/Library/Application Support/Corvello/agent_bridge.json"
    static std::string discoveryPath();

    // Starts listening on 127.0.0.1 at a port the system chooses and writes the discovery
    // file. Call on the main queue; the host is held weakly. `work` may be null when page
    // commands are not available. False when the listener could not be created.
    bool start(std::weak_ptr<AgentBridgeHost> host, std::shared_ptr<AgentPageWork> work);
    // Closes the listener and every open connection and removes the discovery file.
    void stop();

    bool running() const;
    int port() const;
    // 64 lower-case hex characters, fixed for the life of the bridge.
    const std::string& token() const { return token_; }

  private:
    struct Net;
    std::shared_ptr<Net> net_;
    std::string token_;
};

}  // namespace cvl
