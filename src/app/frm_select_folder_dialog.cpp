#include "app/frm_select_folder_dialog.h"

#include "app/frm_analyze_drive.h"
#include "app/program_folder.h"
#include "app/ui.h"
#include "app/window_host.h"
#include "platform/invoking_user.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace quorvane {

TFrmSelectFolderDialog::TFrmSelectFolderDialog() = default;

std::string TFrmSelectFolderDialog::NewBtnClick() {
    std::string parent = SelectedPath;
    while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    const std::string base = (parent == "/" ? "" : parent) + "/New Folder";
    int lastErrno = 0;
    for (int n = 1; n <= 1000; ++n) {
        const std::string path = n == 1 ? base : base + " (" + std::to_string(n) + ")";
        const int err = MakeFolder ? MakeFolder(path) : (::mkdir(path.c_str(), 0755) == 0 ? 0 : errno);
        if (err == 0) {
            if (!MakeFolder) HandToInvokingUser(path);
            return path;
        }
        lastErrno = err;
        if (err != EEXIST) break;
    }
    ShowWarning("Cannot create a new folder in " + parent + ": " + std::strerror(lastErrno));
    return "";
}

void TFrmSelectFolderDialog::OKBtnClick() { ModalResult = TModalResult::OK; }

void TFrmSelectFolderDialog::CancelBtnClick() { ModalResult = TModalResult::Cancel; }

std::string ChooseFolder(const std::string& initial, TWindowHost& windows) {
    std::string folder = initial;
    if (!IsFolder(folder)) folder = DefaultDestinationFolder();
    TFrmSelectFolderDialog dialog;
    dialog.SelectedPath = folder;
    if (windows.ShowSelectFolder(dialog) && !dialog.SelectedPath.empty()) folder = dialog.SelectedPath;
    return folder;
}

}  // namespace quorvane
