#pragma once
// Shared set-up of the update tests: a scratch folder with the served files ("www"), the
// program's folder ("app") and a temporary folder ("tmp"); a loopback HTTPS server; a test key
// pair that signs control files; a TWebUpdate pointed at them, trusting the server and the key
// and running as an ordinary user; and a front end that records what the user would see.
#include "app/ui.h"
#include "support/version_test_files.h"
#include "update/loopback_server.h"
#include "update/test_signer.h"
#include "update/web_update.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace quorvane::testing {

class RecordingUserInterface : public UserInterface {
public:
    struct Box {
        std::string text;
        std::string caption;
        MsgIcon icon;
    };
    void ProcessMessages() override { ++pumped; }
    MsgResult MessageBox(const std::string& text, const std::string& caption, MsgIcon icon, MsgButtons,
                         MsgResult defaultResult) override {
        boxes.push_back({text, caption, icon});
        return defaultResult;
    }
    int pumped = 0;
    std::vector<Box> boxes;
};

inline void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// Every file below folder, relative, sorted.
inline std::vector<std::string> FilesBelow(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         it != std::filesystem::recursive_directory_iterator(); ++it)
        if (it->is_regular_file()) files.push_back(std::filesystem::relative(it->path(), folder).string());
    std::sort(files.begin(), files.end());
    return files;
}

inline bool HaveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        www = dir / "www";
        app = dir / "app";
        tmp = dir / "tmp";
        for (const std::string& f : {www, app, tmp}) std::filesystem::create_directories(f);
        // Session folders of the component go below our own temporary folder.
        oldTmpdir_ = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
        ::setenv("TMPDIR", tmp.c_str(), 1);

        server = std::make_unique<LoopbackServer>(www, dir / "server.log");
        if (!server->Running()) GTEST_SKIP() << "the https server (python3, openssl) could not be started";

        update.NoProxy = "*";
        update.CAFile = server->CertificateFile();
        update.PublicKey = signer.PublicKeyHex();
        // The tests run as root on the build machines; the update refuses root.
        update.CurrentUser = [] { return uid_t{1000}; };
        update.Prefixes = {dir / "win", app, tmp, dir / "pf"};
        SetUI(&ui);
    }

    void TearDown() override {
        SetUI(nullptr);
        if (oldTmpdir_.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", oldTmpdir_.c_str(), 1);
    }

    // Puts a file on the server.
    void Serve(const std::string& name, const std::string& content) { WriteText(www + "/" + name, content); }
    // Puts a control file on the server with its signature beside it ("name.sig").
    void ServeSigned(const std::string& name, const std::string& content) {
        Serve(name, content);
        Serve(name + ".sig", signer.Sign(content));
    }
    // The SHA-256 of a served file, as the control file gives it.
    std::string Hash(const std::string& name) const { return Sha256Hex(ReadText(www + "/" + name)); }
    std::string URL(const std::string& name) const { return server->URL(name); }

    ScratchFolder dir;
    std::string www, app, tmp;
    std::unique_ptr<LoopbackServer> server;
    TestSigner signer;
    TWebUpdate update;
    RecordingUserInterface ui;

private:
    std::string oldTmpdir_;
};

}  // namespace quorvane::testing
