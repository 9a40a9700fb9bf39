#include "app/recovery_report.h"

#include "app/file_naming.h"
#include "media/content_check.h"
#include "platform/invoking_user.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quorvane {

nlohmann::json StagedFilesJson(const TStagedList& staged) {
    auto files = nlohmann::json::array();
    for (const auto& f : staged.Files()) {
        nlohmann::json file = {{"staged", f.Path},
                               {"saved", f.SavedAs.empty() ? nlohmann::json() : nlohmann::json(f.SavedAs)},
                               {"size", f.Size},
                               {"condition", ConditionName(f.Condition)},
                               {"method", f.Origin.Method.empty() ? nlohmann::json() : nlohmann::json(f.Origin.Method)},
                               {"original_path", f.Origin.OriginalPath.empty() ? nlohmann::json()
                                                                               : nlohmann::json(f.Origin.OriginalPath)},
                               {"first_sector", f.Origin.FirstSector}};
        if (!f.SaveError.empty()) file["error"] = f.SaveError;
        files.push_back(std::move(file));
    }
    return files;
}

bool WriteRecoveryReport(const std::string& destination, const nlohmann::json& report, std::string& error) {
    const std::string path = WithTrailingSlash(destination) + RecoveryReportName;
    const std::string temporary = path + ".part";
    // Written beside and renamed over, so a report is whole or the earlier one stays; never
    // through a link someone put in its place.
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        error = "Cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<std::size_t>(put);
    }
    const int writeErrno = done == text.size() ? 0 : (errno != 0 ? errno : ENOSPC);
    if (::close(fd) != 0 || writeErrno != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "Cannot write " + path + ": " + std::strerror(writeErrno != 0 ? writeErrno : errno);
        ::unlink(temporary.c_str());
        return false;
    }
    HandToInvokingUser(path);
    return true;
}

}  // namespace quorvane
