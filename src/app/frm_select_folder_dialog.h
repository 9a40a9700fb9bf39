#pragma once
// The folder chooser without its toolkit: the starting folder, the folder made with
// "New Folder" and the chosen path. The view shows the folder tree and keeps SelectedPath
// current.
#include "app/controls.h"

#include <functional>
#include <string>

namespace quorvane {

class TWindowHost;
enum class TModalResult;

class TFrmSelectFolderDialog {
public:
    TFrmSelectFolderDialog();

    static constexpr const char* Caption = "Choose directory...";
    static constexpr int ClientWidth = 330;
    static constexpr int ClientHeight = 266;

    TLabel Label1{"Label1", "Directory:"};
    TButton NewBtn{"NewBtn", "New Folder"};
    TButton OKBtn{"OKBtn", "OK"};
    TButton CancelBtn{"CancelBtn", "Cancel"};

    // The folder selected in the tree.
    std::string SelectedPath;
    TModalResult ModalResult{};

    // Makes a new folder inside the selected one under the first free name of "New Folder",
    // "New Folder (2)", ... and gives its path for in-place naming; "" after a warning.
    std::string NewBtnClick();
    // Makes one folder: 0 or an errno value. The window makes it through its folder tree, which
    // then knows the new folder at once; without one it is made directly.
    std::function<int(const std::string& path)> MakeFolder;
    void OKBtnClick();
    void CancelBtnClick();
};

// Shows the chooser on initial (or, when that is no folder, on the default destination) and
// gives the folder chosen, or the starting folder when the user cancels.
std::string ChooseFolder(const std::string& initial, TWindowHost& windows);

}  // namespace quorvane
