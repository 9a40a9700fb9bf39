#pragma once
// A real HTTPS server on 127.0.0.1 for the update tests: Python's http.server serving a folder
// over TLS on a free port, with a certificate for 127.0.0.1 made for it by openssl (the client
// trusts it through TWebUpdate::CAFile), and its request log kept so tests can see what was
// fetched. A file "NAME.redirect" makes NAME answer 302 to the address that file holds.
#include <string>
#include <sys/types.h>
#include <vector>

namespace quorvane::testing {

class LoopbackServer {
public:
    // Serves folder; Running() is false when python3 or openssl is missing or the server did not start.
    LoopbackServer(const std::string& folder, const std::string& logFile);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool Running() const { return port_ > 0; }
    int Port() const { return port_; }
    // "https://127.0.0.1:PORT/" + path
    std::string URL(const std::string& path) const;
    // The server's certificate (PEM), which a client must trust to reach it.
    const std::string& CertificateFile() const { return certificate_; }
    // The paths of the GET requests served so far, in order.
    std::vector<std::string> RequestedPaths() const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string logFile_;
    std::string certificate_;
};

// A port on 127.0.0.1 where nothing listens (it was free a moment ago).
int UnusedLoopbackPort();

}  // namespace quorvane::testing
