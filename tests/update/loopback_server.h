#pragma once
// A real HTTP server on 127.0.0.1 for the update tests: Python's http.server serving a folder
// on a free port, with its request log kept so tests can see what was fetched.
#include <string>
#include <sys/types.h>
#include <vector>

namespace quorvane::testing {

class LoopbackServer {
public:
    // Serves folder; Running() is false when python3 is missing or the server did not start.
    LoopbackServer(const std::string& folder, const std::string& logFile);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool Running() const { return port_ > 0; }
    int Port() const { return port_; }
    // "http://127.0.0.1:PORT/" + path
    std::string URL(const std::string& path) const;
    // The paths of the GET requests served so far, in order.
    std::vector<std::string> RequestedPaths() const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string logFile_;
};

// A port on 127.0.0.1 where nothing listens (it was free a moment ago).
int UnusedLoopbackPort();

}  // namespace quorvane::testing
