#pragma once
// The live update component: fetches the update control file, decides whether a newer version
// exists, downloads the files it lists into their target folders (expanding LZ files, unpacking
// cabinets, applying patches) and restarts the program through the updater. It runs on the
// caller's thread and pumps messages while it downloads; the wizard (web_update_wizard.h) leads
// the user through it.
//
// An update is trusted only as far as its control file is: the file must carry a valid Ed25519
// signature of the built-in key ("<control file address>.sig", the 64 raw signature bytes), name
// a SHA-256 ("sha256") for every file it lists, keep every folder and program it names inside
// the program's folder, and use https throughout. Anything else is refused before a byte is
// installed or a program started, and Refusal says why.
#include "update/expand_path.h"
#include "support/ini_file.h"
#include "update/update_signature.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace quorvane {

// Answers of StartConnection, GetControlFile and DoVersionCheck.
enum TWebUpdateResult : int {
    wuOk = 0,
    wuNoInternetHandle = 2,
    wuDialFailed = 3,
    wuNoControlFile = 4,
    wuDateUpdate = 6,
    wuNoUpdate = 7,
    wuUnconditionalUpdate = 8,
    wuSizeUpdate = 9,
    wuChecksumUpdate = 10,
    wuVersionUpdate = 11,
};

// One file entry of the control file: section "file1" ... "fileN".
struct TFileDescription {
    std::string URL;
    std::string NewVersion;
    std::int64_t NewSize = 0;
    std::int64_t NewCheckSum = -1;
    std::string NewCustomVer;
    std::string NewDate;
    std::string NewTime;
    std::string LocalVersion;
    std::string Description;
    std::string TargetDir;
    bool Compressed = false;
    std::int64_t FileSize = 0;
    std::string SHA256;  // sha256: the download's SHA-256 as hex digits
};

// What a download must satisfy besides arriving whole.
struct TDownloadCheck {
    std::string sha256{};        // the SHA-256 it must have (hex); "" for none
    std::int64_t maxBytes = 0;   // a download that grows beyond this fails; 0 for no limit
};

class TFileList {
public:
    std::vector<TFileDescription> Items;
    int ActiveIndex = -1;  // the entry being downloaded

    std::int64_t TotalSize() const;
    // The sizes of the entries before the active one.
    std::int64_t CompletedSize() const;
};

// A date and time of the control file or of a local file, as seconds of local clock time
// counted from 1 January 1970 (no time zone arithmetic: both sides are local times).
using TLocalDateTime = std::int64_t;
TLocalDateTime LocalDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// The date in the user's short date form (the locale's %x).
std::string FormatShortDate(TLocalDateTime when);

class TWebUpdate {
public:
    TWebUpdate();
    ~TWebUpdate();
    TWebUpdate(const TWebUpdate&) = delete;
    TWebUpdate& operator=(const TWebUpdate&) = delete;

    // Settings.
    std::string URL;  // address of the control file; may hold folder prefixes
    bool ExtractCAB = true;
    bool ApplyPatch = true;
    bool KeepIntermediateFiles = false;
    std::string DateFormat = "dd/mm/yyyy";
    char DateSeparator = '/';
    char TimeSeparator = ':';
    std::string AgentName = "WebUpdate";
    // Hosts reached without a proxy ("*" for all); empty keeps the environment's proxy settings.
    std::string NoProxy;
    // Folders that the prefixes of control file paths stand for; CurrentPathPrefixes() by default.
    TPathPrefixes Prefixes;
    // The updater that DoRestart starts: quorvane-updater next to the running program.
    std::string UpdaterProgram;
    // The program that applies ".PAT" files, by absolute path; "" for "patcher" in the program's
    // folder. It runs only as it was before the update began, never as a file the update brought.
    std::string PatcherProgram;
    // The Ed25519 public key (64 hex digits) that signs control files: the one built in.
    std::string PublicKey = BuiltInUpdateKey();
    // A PEM file of further certificates to trust for https (a private update server); "" for the
    // system's certificates only.
    std::string CAFile;
    // The user the update runs as; the effective user by default.
    std::function<uid_t()> CurrentUser = [] { return ::geteuid(); };

    // Events. The wizard routes the progress of a download and the question whether the user
    // cancelled to its form; TerminateApplication ends the program after DoRestart (without
    // it the process exits).
    std::function<void(const std::string& fileName, std::int64_t size, std::int64_t position)> OnFileProgress;
    std::function<bool()> OnProgressCancel;
    std::function<void()> OnTerminateApplication;
    // Shows the control file's showURL address (https only); without it the desktop's browser opens it.
    std::function<void(const std::string& url)> OnShowURL;

    // What the control file and the checks found, for the wizard to show.
    std::optional<TIniFile> ControlFile;
    std::string Description;      // [update] descr
    TLocalDateTime NewDate = 0;
    TLocalDateTime LastDate = 0;
    std::string NewVersionText;  // a.b.c.d of newversion, when both versions could be read
    std::string CurrentVersionText;
    std::string AppName;   // [application] appname as a local command line (paths with blanks quoted)
    std::string AppComps;  // [application] appcomps, expanded
    TFileList FileList;
    bool Cancelled = false;             // the user cancelled a download
    bool AppComponentUpdated = false;   // a file named in appcomps was downloaded
    // Why the last step refused the update (an unsigned control file, a download with another
    // hash, an address that is not https, ...), in words for the user; "" when nothing was refused.
    std::string Refusal;

    // Why this process may not install an update: it runs as root, or the program's folder is not
    // writable (a packaged installation). "" when it may.
    std::string InstallRefusal() const;

    // The steps of an update, in the order the wizard runs them.
    int StartConnection();
    int GetControlFile();
    int DoVersionCheck();
    void HandleActions();
    std::vector<std::string> GetWhatsNew();
    std::vector<std::string> GetEULA();
    int GetFileDetails();
    void GetFileUpdates();
    void StopConnection();
    void DoRestart();

    // Helpers, public for the wizard and the tests.
    std::string GetControlFileURL() const;
    bool CheckVersions(const std::string& newVersion, const std::string& localFile, std::int64_t newChecksum,
                       std::int64_t newSize);
    std::optional<TLocalDateTime> ControlValueToDate(const std::string& date, const std::string& time) const;
    // Downloads url into targetDir (which ends with '/') under the name URLtoFile gives, expanding
    // an LZ-compressed file unless it is a cabinet. True when at least one byte arrived and the
    // download passed check. Only https addresses are fetched, and redirects only to https.
    bool URLGetFile(const std::string& url, bool compressed, const std::string& targetDir,
                    const TDownloadCheck& check = {});
    // Downloads a text file into the session folder and answers its lines; none when it fails or
    // its SHA-256 is not sha256.
    std::vector<std::string> GetTextFile(const std::string& url, const std::string& sha256 = {});
    // A control file text with its folder prefixes replaced.
    std::string ExpandPath(const std::string& path) const;
    // A control file path as a local path: ExpandPath, then LocalPath.
    std::string LocalFilePath(const std::string& path) const;
    // What DoRestart starts: the updater, this process's number, the application's command
    // line as one argument, then each appcomps item.
    std::vector<std::string> RestartArguments(pid_t processId) const;

    // The folder the update may write into and run from: Prefixes.app.
    const std::string& ProgramFolder() const { return Prefixes.app; }

private:
    struct Connection;
    struct Staged;
    bool isAppComponent(const std::string& fileName) const;
    void handleDownloaded(const TFileDescription& entry, const std::string& targetDir, const std::string& fileName);
    std::string signatureProblem(const std::string& url, const std::string& text);
    std::string controlFileProblem(const TIniFile& ini) const;
    std::optional<std::string> confinedFolder(const std::string& targetDir) const;
    bool install(const Staged& staged);
    std::string patcherPath() const;

    std::unique_ptr<Connection> connection_;
    std::string sessionFolder_;
    std::vector<pid_t> started_;  // programs started for the control file, collected when they end
    // The patcher as it was when the downloads began: (device, inode, change time); a file put
    // there by the update itself differs.
    struct FileIdentity {
        dev_t device = 0;
        ino_t inode = 0;
        std::int64_t changed = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    std::optional<FileIdentity> patcherBefore_;
    // The identity of a regular file given by an absolute path, reached without following a link.
    static std::optional<FileIdentity> identityOf(const std::string& path);
};

// The byte sum of a file: -1 plus the sum of all its bytes; -1 when it cannot be opened or is no
// regular file (a device or a pipe is never read).
std::int64_t FileCheckSum(const std::string& path);
// The file version of a file's version resource (fixed information with a valid signature).
bool GetFileVersion(const std::string& path, std::uint32_t& ms, std::uint32_t& ls);
// The date and time a file was last written, or 1 January 1980 when it does not exist.
TLocalDateTime UpdateDateGet(const std::string& path);

}  // namespace quorvane
