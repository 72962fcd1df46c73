// Test helper: a local HTTPS server on the loopback interface, serving a folder, with a
// self-signed certificate made for the test (trusted only through caFile()).
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/ProcessRunner.h"

extern char** environ;

#ifndef CVL_SOURCE_RESOURCES
#define CVL_SOURCE_RESOURCES "resources"
#endif

namespace cvl::test {

class HttpsServer {
  public:
    // Serves `root`; `work` holds the certificate and key.
    HttpsServer(const std::string& root, const std::string& work) {
        cert_ = work + "/cert.pem";
        std::string key = work + "/cert-key.pem";
        ProcessSpec req;
        req.program = "openssl";
        req.args = {"req",
                    "-x509",
                    "-newkey",
                    "ec",
                    "-pkeyopt",
                    "ec_paramgen_curve:prime256v1",
                    "-nodes",
                    "-keyout",
                    key,
                    "-out",
                    cert_,
                    "-days",
                    "2",
                    "-subj",
                    "/CN=127.0.0.1",
                    "-addext",
                    "subjectAltName=IP:127.0.0.1"};
        if (!runProcess(req).succeeded()) return;
        int out[2];
        if (::pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::string script =
            std::string(CVL_SOURCE_RESOURCES) + "/../tests/support/https_server.py";
        const char* argv[] = {"/usr/bin/python3", script.c_str(), root.c_str(),
                              cert_.c_str(),      key.c_str(),    nullptr};
        if (posix_spawn(&pid_, "/usr/bin/python3", &actions, nullptr, const_cast<char**>(argv),
                        environ) != 0)
            pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        FILE* in = ::fdopen(out[0], "r");
        if (in && std::fscanf(in, "%d", &port_) != 1) port_ = 0;
        if (in) std::fclose(in);
    }
    ~HttpsServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    HttpsServer(const HttpsServer&) = delete;
    HttpsServer& operator=(const HttpsServer&) = delete;

    bool running() const { return port_ > 0; }
    std::string base() const { return "https://127.0.0.1:" + std::to_string(port_); }
    const std::string& caFile() const { return cert_; }

  private:
    pid_t pid_ = 0;
    int port_ = 0;
    std::string cert_;
};

}  // namespace cvl::test
