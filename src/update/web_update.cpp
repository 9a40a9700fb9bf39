// The session of an update: connection, control file, actions and texts.
#include "update/web_update.h"

#include "platform/process_runner.h"
#include "platform/work_folder.h"
#include "support/zarq_versioninfo.h"
#include "update/command_line.h"
#include "update/curl_connection.h"
#include "update/download_file.h"
#include "update/downloaded_names.h"

#include "app/ui.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string_view>
#include <unistd.h>

namespace quorvane {
namespace {

// What's-new and licence texts are read this far; the rest of a larger file is not shown.
constexpr std::size_t maxTextBytes = 1024 * 1024;

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string replaceLineBreaks(std::string text) {
    for (std::size_t at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", at + 1))
        text.replace(at, 2, "\n");
    return text;
}

}  // namespace

std::int64_t TFileList::TotalSize() const {
    std::int64_t total = 0;
    for (const TFileDescription& f : Items) total += f.FileSize;
    return total;
}

std::int64_t TFileList::CompletedSize() const {
    std::int64_t done = 0;
    for (int i = 0; i < ActiveIndex && i < static_cast<int>(Items.size()); ++i)
        done += Items[static_cast<std::size_t>(i)].FileSize;
    return done;
}

TWebUpdate::TWebUpdate() : Prefixes(CurrentPathPrefixes()) {
    const std::string exe = OwnExecutablePath();
    UpdaterProgram = (exe.empty() ? std::string("./") : FolderOf(exe)) + "quorvane-updater";
}

TWebUpdate::~TWebUpdate() { StopConnection(); }

std::string TWebUpdate::ExpandPath(const std::string& path) const { return quorvane::ExpandPath(path, Prefixes); }

std::string TWebUpdate::LocalFilePath(const std::string& path) const { return LocalPath(ExpandPath(path)); }

std::string TWebUpdate::GetControlFileURL() const { return ExpandPath(URL); }

int TWebUpdate::StartConnection() {
    // Linux has no dial-up prompt to offer: the network is either there or the download fails.
    initialiseCurlOnce();
    StopConnection();
    connection_ = std::make_unique<Connection>();
    connection_->handle = curl_easy_init();
    if (connection_->handle == nullptr) {
        connection_.reset();
        return wuNoInternetHandle;
    }
    // Downloaded texts go into a folder of our own, not under a guessable name in /tmp.
    std::string error;
    sessionFolder_ = MakePrivateRunFolder(error);
    if (sessionFolder_.empty()) {
        connection_.reset();
        return wuNoInternetHandle;
    }
    return wuOk;
}

void TWebUpdate::StopConnection() {
    connection_.reset();
    if (!sessionFolder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(sessionFolder_, ec);
        sessionFolder_.clear();
    }
    ReapFinished(started_);
}

int TWebUpdate::GetControlFile() {
    if (!connection_ || sessionFolder_.empty()) return wuNoControlFile;
    const std::string url = GetControlFileURL();
    if (!URLGetFile(url, false, sessionFolder_)) return wuNoControlFile;
    ControlFile = TIniFile(sessionFolder_ + URLtoFile(url));

    AppName = LocalCommandLine(ControlFile->ReadString("application", "appname", ""), Prefixes);
    AppComps = ExpandPath(ControlFile->ReadString("application", "appcomps", ""));
    return wuOk;
}

void TWebUpdate::HandleActions() {
    if (!ControlFile) return;
    const std::string msg = ControlFile->ReadString("action", "msg", "");
    if (!msg.empty()) UI().MessageBox(replaceLineBreaks(msg), "Quorvane", MsgIcon::Information, MsgButtons::Ok, MsgResult::Ok);

    const std::string runBefore = LocalCommandLine(ControlFile->ReadString("action", "runbefore", ""), Prefixes);
    if (!runBefore.empty()) {
        const pid_t pid = StartProcess(SplitCommandLine(runBefore));
        if (pid > 0) started_.push_back(pid);
    }
    const std::string showURL = ExpandPath(ControlFile->ReadString("action", "showURL", ""));
    if (!showURL.empty()) {
        const pid_t pid = StartProcess({"xdg-open", showURL});
        if (pid > 0) started_.push_back(pid);
    }
}

std::vector<std::string> TWebUpdate::GetTextFile(const std::string& url) {
    std::vector<std::string> lines;
    if (sessionFolder_.empty() || !URLGetFile(url, false, sessionFolder_)) return lines;
    const std::string path = sessionFolder_ + URLtoFile(url);
    {
        // Read no further than the limit, even when the file has no line breaks at all.
        std::ifstream file(path, std::ios::binary);
        std::string text(maxTextBytes, '\0');
        file.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
        std::string_view rest = text;
        while (!rest.empty()) {
            const std::size_t eol = rest.find('\n');
            std::string_view line = rest.substr(0, eol);
            rest = eol == std::string_view::npos ? std::string_view{} : rest.substr(eol + 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            lines.emplace_back(line);
        }
    }
    ::unlink(path.c_str());
    return lines;
}

std::vector<std::string> TWebUpdate::GetWhatsNew() {
    if (!ControlFile || !ControlFile->ValueExists("whatsnew", "file")) return {};
    return GetTextFile(ExpandPath(ControlFile->ReadString("whatsnew", "file", "")));
}

std::vector<std::string> TWebUpdate::GetEULA() {
    if (!ControlFile || !ControlFile->ValueExists("eula", "file")) return {};
    return GetTextFile(ExpandPath(ControlFile->ReadString("eula", "file", "")));
}

}  // namespace quorvane
