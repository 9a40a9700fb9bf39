// The session of an update: connection, control file, actions and texts.
#include "update/web_update.h"

#include "platform/process_runner.h"
#include "platform/work_folder.h"
#include "support/zarq_versioninfo.h"
#include "update/command_line.h"
#include "update/confined_path.h"
#include "update/curl_connection.h"
#include "update/download_file.h"
#include "update/downloaded_names.h"

#include "app/ui.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string_view>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {

// What's-new and licence texts are read this far; the rest of a larger file is not shown.
constexpr std::size_t maxTextBytes = 1024 * 1024;
// Larger texts are not fetched at all.
constexpr std::int64_t maxTextDownload = 16 * 1024 * 1024;
// A control file is a page of settings; its signature is 64 bytes.
constexpr std::int64_t maxControlFileBytes = 1024 * 1024;
constexpr std::int64_t maxSignatureBytes = 1024;

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// At most maxBytes of a file; nullopt when it cannot be read.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t maxBytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string text(maxBytes, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    return text;
}

bool isHttpsAddress(const std::string& url) { return url.size() > 8 && strncasecmp(url.c_str(), "https://", 8) == 0; }

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
    Refusal.clear();
    ControlFile.reset();
    if (!connection_ || sessionFolder_.empty()) return wuNoControlFile;
    const std::string url = GetControlFileURL();
    if (!URLGetFile(url, false, sessionFolder_, {"", maxControlFileBytes})) return wuNoControlFile;
    const std::string path = sessionFolder_ + URLtoFile(url);
    const std::optional<std::string> text = readSmallFile(path, maxControlFileBytes);
    ::unlink(path.c_str());
    if (!text) return wuNoControlFile;

    // The text that was verified is the text that is read: the file is not opened again.
    Refusal = signatureProblem(url, *text);
    if (Refusal.empty()) {
        TIniFile ini = TIniFile::FromText(*text);
        Refusal = controlFileProblem(ini);
        if (Refusal.empty()) ControlFile = std::move(ini);
    }
    if (!Refusal.empty()) return wuNoControlFile;

    AppName = LocalCommandLine(ControlFile->ReadString("application", "appname", ""), Prefixes);
    AppComps = ExpandPath(ControlFile->ReadString("application", "appcomps", ""));
    return wuOk;
}

std::string TWebUpdate::signatureProblem(const std::string& url, const std::string& text) {
    const auto key = ParseUpdateKey(PublicKey);
    // The signature sits beside the control file; its own folder keeps it apart from a control
    // file whose name already ends in ".sig".
    const std::string sigFolder = sessionFolder_ + "signature/";
    ::mkdir(sigFolder.c_str(), 0700);
    const std::string sigURL = url + ".sig";
    const std::string refusedBefore = Refusal;
    if (!URLGetFile(sigURL, false, sigFolder, {"", maxSignatureBytes})) {
        if (!Refusal.empty() && Refusal != refusedBefore) return Refusal;
        return "The update control file " + url + " is not signed (no " + sigURL + "): it was not used.";
    }
    const std::string sigPath = sigFolder + URLtoFile(sigURL);
    const std::optional<std::string> signature = readSmallFile(sigPath, maxSignatureBytes);
    ::unlink(sigPath.c_str());
    if (!key) return "This build of Quorvane has no key to check updates with, so it cannot update itself.";
    const auto bytes = [](const std::string& s) {
        return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    };
    if (!signature || !VerifyEd25519(*key, bytes(text), bytes(*signature)))
        return "The signature of the update control file " + url +
               " is not valid: the file was changed or not made by the Quorvane developers. It was not used.";
    return {};
}

std::optional<std::string> TWebUpdate::confinedFolder(const std::string& targetDir) const {
    const std::string local = LocalFilePath(targetDir.empty() ? std::string("{APP}") : targetDir);
    return PathBelow(local, ProgramFolder());
}

// Every address, hash, folder and program of a control file, checked before any of them is used.
std::string TWebUpdate::controlFileProblem(const TIniFile& ini) const {
    const auto outside = [this](const std::string& key, const std::string& path) {
        return "The update control file names " + path + " (" + key + "), which is outside Quorvane's folder " +
               ProgramFolder() + ": it was not used.";
    };
    // Programs it starts: the first word of the command line, a file the program ships.
    for (const auto& [section, key] : {std::pair{"application", "appname"}, std::pair{"action", "runbefore"}}) {
        const std::vector<std::string> args =
            SplitCommandLine(LocalCommandLine(ini.ReadString(section, key, ""), Prefixes));
        if (!args.empty() && !PathBelow(args[0], ProgramFolder())) return outside(key, args[0]);
    }
    const auto fileProblem = [](const std::string& name, const std::string& url,
                                const std::string& sha256) -> std::string {
        if (!isHttpsAddress(url))
            return "The update control file names " + url + " for " + name +
                   ", which is not an https address: it was not used.";
        if (!IsSha256Text(sha256))
            return "The update control file gives no SHA-256 (sha256) for " + url + ": it was not used.";
        return {};
    };
    for (const char* section : {"whatsnew", "eula"}) {
        if (!ini.ValueExists(section, "file")) continue;
        const std::string problem = fileProblem(section, ExpandPath(ini.ReadString(section, "file", "")),
                                                ini.ReadString(section, "sha256", ""));
        if (!problem.empty()) return problem;
    }
    const std::int64_t count = ini.ReadInteger("files", "count", 0);
    for (std::int64_t n = 1; n <= count; ++n) {
        const std::string section = "file" + std::to_string(n);
        if (!ini.SectionExists(section)) break;
        const std::string problem = fileProblem(section, ExpandPath(ini.ReadString(section, "url", "")),
                                                ini.ReadString(section, "sha256", ""));
        if (!problem.empty()) return problem;
        const std::string targetDir = ini.ReadString(section, "targetdir", "");
        if (!confinedFolder(targetDir)) return outside(section + " targetdir", targetDir);
        const std::string patched = ini.ReadString(section, "localversion", "");
        if (!patched.empty() && !PathBelow(LocalFilePath(patched), ProgramFolder()))
            return outside(section + " localversion", patched);
    }
    return {};
}

std::string TWebUpdate::InstallRefusal() const {
    if (CurrentUser() == 0)
        return "The live update does not run as root: it would install and start programs with every right on this "
               "machine. Start Quorvane as your own user to update it.";
    if (ProgramFolder().empty() || ::access(ProgramFolder().c_str(), W_OK) != 0)
        return "Quorvane's folder " + ProgramFolder() +
               " cannot be written by you: this copy was installed by a package. Update it with your package manager.";
    return {};
}

void TWebUpdate::HandleActions() {
    if (!ControlFile || !InstallRefusal().empty()) return;
    const std::string msg = ControlFile->ReadString("action", "msg", "");
    if (!msg.empty()) UI().MessageBox(replaceLineBreaks(msg), "Quorvane", MsgIcon::Information, MsgButtons::Ok, MsgResult::Ok);

    // Only a program that Quorvane's folder holds runs, reached without a link.
    const std::vector<std::string> runBefore =
        SplitCommandLine(LocalCommandLine(ControlFile->ReadString("action", "runbefore", ""), Prefixes));
    if (!runBefore.empty() && IsFileBelow(runBefore[0], ProgramFolder())) {
        const pid_t pid = StartProcess(runBefore);
        if (pid > 0) started_.push_back(pid);
    }
    // A web page is opened only over https; anything else (a file, a script URL) is not.
    const std::string showURL = ExpandPath(ControlFile->ReadString("action", "showURL", ""));
    if (isHttpsAddress(showURL)) {
        if (OnShowURL) {
            OnShowURL(showURL);
        } else {
            const pid_t pid = StartProcess({"xdg-open", showURL});
            if (pid > 0) started_.push_back(pid);
        }
    }
}

std::vector<std::string> TWebUpdate::GetTextFile(const std::string& url, const std::string& sha256) {
    std::vector<std::string> lines;
    if (sessionFolder_.empty() || !URLGetFile(url, false, sessionFolder_, {sha256, maxTextDownload})) return lines;
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
    return GetTextFile(ExpandPath(ControlFile->ReadString("whatsnew", "file", "")),
                       ControlFile->ReadString("whatsnew", "sha256", ""));
}

std::vector<std::string> TWebUpdate::GetEULA() {
    if (!ControlFile || !ControlFile->ValueExists("eula", "file")) return {};
    return GetTextFile(ExpandPath(ControlFile->ReadString("eula", "file", "")),
                       ControlFile->ReadString("eula", "sha256", ""));
}

}  // namespace quorvane
