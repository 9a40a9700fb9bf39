// The file list of the control file and the download of the chosen files.
#include "update/web_update.h"

#include "platform/process_runner.h"
#include "support/file_descriptor.h"
#include "update/cab_extract.h"
#include "update/confined_path.h"
#include "update/lz_expand.h"
#include "update/download_file.h"
#include "update/downloaded_names.h"

#include <cerrno>
#include <fcntl.h>
#include <strings.h>
#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {
constexpr std::int64_t MaxListedFileSize = std::int64_t{1} << 40;  // 1 TiB

// Copies the file at from into the new file to, which is open for writing.
bool copyInto(const std::string& from, int to) {
    const FileDescriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!in) return false;
    char block[65536];
    while (true) {
        const ssize_t n = ::read(in.get(), block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, block + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            done += w;
        }
    }
}

}  // namespace

// A download that has arrived in the session folder and passed its checks, waiting to be installed.
struct TWebUpdate::Staged {
    const TFileDescription* entry;
    std::string targetDir;  // ends with '/'
    std::string fileName;
    std::string path;       // in the session folder
};

int TWebUpdate::GetFileDetails() {
    FileList.Items.clear();
    FileList.ActiveIndex = -1;
    if (!ControlFile) return 0;
    const TIniFile& ini = *ControlFile;
    const std::int64_t count = ini.ReadInteger("files", "count", 0);
    for (std::int64_t n = 1; n <= count; ++n) {
        const std::string section = "file" + std::to_string(n);
        // A count larger than the sections that follow it ends the list at the first gap.
        if (!ini.SectionExists(section)) break;
        TFileDescription f;
        f.URL = ini.ReadString(section, "url", "");
        f.NewVersion = ini.ReadString(section, "newversion", "");
        f.NewSize = ini.ReadInteger(section, "newsize", 0);
        f.NewCheckSum = ini.ReadInteger(section, "newchecksum", -1);
        f.NewCustomVer = ini.ReadString(section, "customversion", "");
        f.NewDate = ini.ReadString(section, "date", "");
        f.NewTime = ini.ReadString(section, "time", "");
        f.LocalVersion = ini.ReadString(section, "localversion", "");
        f.Description = ini.ReadString(section, "descr", "");
        f.TargetDir = ini.ReadString(section, "targetdir", "");
        f.Compressed = ini.ReadInteger(section, "compressed", 0) == 1;
        f.SHA256 = ini.ReadString(section, "sha256", "");
        // Only sizes the progress bars; a wild value must not overflow their sum or turn it negative.
        f.FileSize = std::clamp<std::int64_t>(ini.ReadInteger(section, "filesize", 0), 0, MaxListedFileSize);
        FileList.Items.push_back(std::move(f));
    }
    return static_cast<int>(FileList.Items.size());
}

// appcomps lists names separated by blanks, commas or semicolons, possibly with folders; a
// downloaded file belongs to the application when its name equals one of their file names.
bool TWebUpdate::isAppComponent(const std::string& fileName) const {
    std::string_view list = AppComps;
    while (!list.empty()) {
        const std::size_t sep = list.find_first_of(" ,;\t");
        std::string_view item = list.substr(0, sep);
        list = sep == std::string_view::npos ? std::string_view{} : list.substr(sep + 1);
        item = item.substr(item.find_last_of("/\\") == std::string_view::npos ? 0 : item.find_last_of("/\\") + 1);
        if (!item.empty() && item.size() == fileName.size() && strncasecmp(item.data(), fileName.data(), item.size()) == 0)
            return true;
    }
    return false;
}

void TWebUpdate::handleDownloaded(const TFileDescription& entry, const std::string& targetDir,
                                  const std::string& fileName) {
    const bool component = isAppComponent(fileName);
    if (component) AppComponentUpdated = true;
    const std::string path = targetDir + fileName;
    const std::string extension = UpperExtension(fileName);

    if (extension == ".CAB" && !component && ExtractCAB) {
        // A cabinet that cannot be unpacked stays where it is.
        if (CabExtract(path, targetDir) && !KeepIntermediateFiles) ::unlink(path.c_str());
    } else if (extension == ".PAT" && !entry.LocalVersion.empty() && !component && ApplyPatch) {
        // The patcher runs only as it was before this update: never a file the update just put there.
        const std::string patcher = patcherPath();
        if (patcherBefore_ && identityOf(patcher) == patcherBefore_)
            RunAndWait({patcher, path, LocalFilePath(entry.LocalVersion)});
        if (!KeepIntermediateFiles) ::unlink(path.c_str());
    }
}

std::optional<TWebUpdate::FileIdentity> TWebUpdate::identityOf(const std::string& path) {
    struct stat st{};
    if (path.empty() || path.front() != '/' || ::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino, std::int64_t{st.st_ctim.tv_sec} * 1'000'000'000 + st.st_ctim.tv_nsec};
}

std::string TWebUpdate::patcherPath() const {
    if (!PatcherProgram.empty()) return PatcherProgram;
    std::string folder = ProgramFolder();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + "patcher";
}

// Moves a checked download from the session folder to its target, expanding an LZ file.
bool TWebUpdate::install(const Staged& staged) {
    auto temp = CreateTempFileIn(staged.targetDir);
    if (!temp) return false;
    const bool copied = copyInto(staged.path, temp->fd.get()) && temp->fd.close() == 0;
    ::unlink(staged.path.c_str());
    const std::string target = staged.targetDir + staged.fileName;
    if (copied && staged.entry->Compressed && UpperExtension(staged.fileName) != ".CAB")
        return ExpandLZFile(target, temp->path).has_value();
    if (!copied || !CommitFile(temp->path, target)) {
        ::unlink(temp->path.c_str());
        return false;
    }
    return true;
}

// Two rounds: every chosen file is downloaded into the session folder and checked against its
// SHA-256 first; only when none was refused and the user did not cancel are they installed. A
// file that cannot be fetched at all is skipped, as before; a file that arrives different from
// what the signed control file says stops the whole update with nothing installed.
void TWebUpdate::GetFileUpdates() {
    Refusal = InstallRefusal();
    if (!Refusal.empty() || sessionFolder_.empty()) return;
    // A patcher given by a relative path, or none, runs for no patch.
    patcherBefore_ = identityOf(patcherPath());

    std::vector<Staged> staged;
    for (std::size_t i = 0; i < FileList.Items.size(); ++i) {
        // After Cancel the remaining files are not fetched at all: nothing of them would be kept.
        if (Cancelled) break;
        FileList.ActiveIndex = static_cast<int>(i);
        const TFileDescription& entry = FileList.Items[i];

        // An entry without a folder goes into the program's folder; no folder leaves it, and none
        // on the way may be a link.
        const std::optional<std::string> below = confinedFolder(entry.TargetDir);
        if (!below || !MakeFoldersBelow(ProgramFolder(), *below)) {
            Refusal = "The folder " + entry.TargetDir + " of " + entry.Description +
                      " is outside Quorvane's folder or reached through a link.";
            break;
        }
        std::string targetDir = ProgramFolder();
        if (targetDir.back() != '/') targetDir += '/';
        if (!below->empty()) targetDir += *below + "/";

        const std::string url = ExpandPath(entry.URL);
        if (!IsSha256Text(entry.SHA256)) {
            Refusal = "The update control file gives no SHA-256 for " + url + ".";
            break;
        }
        const std::string stage = sessionFolder_ + "files/" + std::to_string(i) + "/";
        std::error_code ec;
        std::filesystem::create_directories(stage, ec);
        if (!URLGetFile(url, false, stage, {entry.SHA256, 0})) {
            if (!Refusal.empty()) break;
            continue;  // skipped; the others still come
        }
        staged.push_back({&entry, targetDir, URLtoFile(url), stage + URLtoFile(url)});
    }
    if (!Refusal.empty()) Refusal += " Nothing was installed.";
    if (Cancelled || !Refusal.empty()) {
        for (const Staged& s : staged) ::unlink(s.path.c_str());
        return;
    }
    for (const Staged& s : staged)
        if (install(s)) handleDownloaded(*s.entry, s.targetDir, s.fileName);
}

}  // namespace quorvane
