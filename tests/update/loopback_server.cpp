#include "update/loopback_server.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quorvane::testing {
namespace {

// http.server's handler over TLS, with redirects from "NAME.redirect" files.
constexpr const char* serverScript = R"(
import http.server, os, ssl, sys
folder, cert, key = sys.argv[1:4]
class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *a, **k):
        super().__init__(*a, directory=folder, **k)
    def send_head(self):
        target = self.translate_path(self.path) + '.redirect'
        if os.path.isfile(target):
            self.send_response(302)
            self.send_header('Location', open(target).read().strip())
            self.send_header('Content-Length', '0')
            self.end_headers()
            return None
        return super().send_head()
server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
print('Serving HTTPS on 127.0.0.1 port %d' % server.server_address[1], flush=True)
server.serve_forever()
)";

// The first line of the server: "Serving HTTP on 127.0.0.1 port 40123 (http://...) ...".
int readPort(int fd) {
    std::string line;
    char c = 0;
    while (line.size() < 512) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10'000) <= 0) return 0;
        if (::read(fd, &c, 1) != 1) return 0;
        if (c == '\n') break;
        line += c;
    }
    const std::size_t at = line.find(" port ");
    return at == std::string::npos ? 0 : std::atoi(line.c_str() + at + 6);
}

}  // namespace

LoopbackServer::LoopbackServer(const std::string& folder, const std::string& logFile) : logFile_(logFile) {
    // A certificate of its own for 127.0.0.1, beside the log.
    certificate_ = logFile + ".cert.pem";
    const std::string key = logFile + ".key.pem";
    const std::string makeCertificate =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=127.0.0.1 "
        "-addext subjectAltName=IP:127.0.0.1 -keyout '" + key + "' -out '" + certificate_ + "' >/dev/null 2>&1";
    if (std::system(makeCertificate.c_str()) != 0) return;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const char* argv[] = {"python3", "-u", "-c", serverScript, folder.c_str(), certificate_.c_str(), key.c_str(), nullptr};
    const int rc = posix_spawnp(&pid_, "python3", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        pid_ = -1;
        ::close(out[0]);
        return;
    }
    port_ = readPort(out[0]);
    ::close(out[0]);
}

LoopbackServer::~LoopbackServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
}

std::string LoopbackServer::URL(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

std::vector<std::string> LoopbackServer::RequestedPaths() const {
    std::vector<std::string> paths;
    std::ifstream log(logFile_);
    std::string line;
    while (std::getline(log, line)) {
        const std::size_t get = line.find("\"GET /");
        if (get == std::string::npos) continue;
        const std::size_t end = line.find(' ', get + 5);
        paths.push_back(line.substr(get + 6, end - get - 6));
    }
    return paths;
}

int UnusedLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(s);
    return port;
}

}  // namespace quorvane::testing
