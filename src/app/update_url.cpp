#include "app/update_url.h"

#include "quorvane_build_info.h"
#include "support/ini_file.h"

namespace quorvane {

const std::string& DefaultUpdateURL() {
    static const std::string url = QUORVANE_UPDATE_URL;
    return url;
}

std::string ReadUpdateURL(const std::string& programFolder) {
    std::string folder = programFolder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    const std::string url = TIniFile(folder + "Quorvane.ini").ReadString("LiveUpdate", "URL", "");
    return url.empty() ? DefaultUpdateURL() : url;
}

}  // namespace quorvane
