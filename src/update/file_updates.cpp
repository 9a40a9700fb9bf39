// The file list of the control file and the download of the chosen files.
#include "update/web_update.h"

#include "platform/process_runner.h"
#include "update/cab_extract.h"
#include "update/download_file.h"
#include "update/downloaded_names.h"

#include <strings.h>
#include <algorithm>
#include <unistd.h>

namespace quorvane {
namespace {
constexpr std::int64_t MaxListedFileSize = std::int64_t{1} << 40;  // 1 TiB
}  // namespace

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
        RunAndWait({PatcherProgram, path, LocalFilePath(entry.LocalVersion)});
        if (!KeepIntermediateFiles) ::unlink(path.c_str());
    }
}

void TWebUpdate::GetFileUpdates() {
    for (std::size_t i = 0; i < FileList.Items.size(); ++i) {
        // After Cancel the remaining files are not fetched at all: nothing of them would be kept.
        if (Cancelled) break;
        FileList.ActiveIndex = static_cast<int>(i);
        const TFileDescription& entry = FileList.Items[i];

        // An entry without a folder goes into the program's folder.
        std::string targetDir = LocalFilePath(entry.TargetDir.empty() ? std::string("{APP}") : entry.TargetDir);
        if (targetDir.empty()) continue;  // a drive letter that has no meaning here
        if (targetDir.back() != '/') targetDir += '/';
        if (!ForceDirectories(targetDir)) continue;

        const std::string url = ExpandPath(entry.URL);
        if (!URLGetFile(url, entry.Compressed, targetDir)) continue;  // skipped; the others still come
        handleDownloaded(entry, targetDir, URLtoFile(url));
    }
}

}  // namespace quorvane
