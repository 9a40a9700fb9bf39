#pragma once
// How the main window shows its other windows. The Qt front end shows real windows and waits
// for the user; without a host (command line, tests) a run goes through without questions: the
// analysis' proposal is taken and every file found is kept.
#include <string>

namespace quorvane {

class TFrmAnalyzeDrive;
class TFrmPreview;
class TFrmSelectFolderDialog;
struct TFormatOptions;
struct DriveEntry;
enum class TModalResult;

class TWindowHost {
public:
    virtual ~TWindowHost() = default;

    // Shows the analysis dialog modally: FormShow, then its timers, until it has a modal result.
    virtual TModalResult ShowAnalyzeDrive(TFrmAnalyzeDrive& dialog) = 0;

    // A run's preview window was made; its Form control says whether it is shown.
    virtual void PreviewCreated(TFrmPreview& preview) = 0;
    // Moves it beside the main window (right of it, or below, ...) within the screen, so that it
    // does not cover the main window's Cancel button during the run.
    virtual void PlacePreviewBesideMain(TFrmPreview& preview) = 0;
    // Shows it modally in the middle of the screen until OK or Cancel ends it.
    virtual void ShowPreviewModal(TFrmPreview& preview) = 0;
    // The preview window is about to be destroyed.
    virtual void PreviewDestroying(TFrmPreview& preview) = 0;

    // The folder chooser, modally. True when it ended with OK.
    virtual bool ShowSelectFolder(TFrmSelectFolderDialog& dialog) = 0;

    // The format dialog: file system and volume label. False when the user closed it.
    virtual bool ShowFormatDialog(const DriveEntry& drive, TFormatOptions& options) = 0;

    // Opens a help page in the desktop's browser.
    virtual void OpenHelp(const std::string& file) = 0;
    virtual void ShowAbout() = 0;

    // Asks the application to end once the current handler returns.
    virtual void Terminate() = 0;
};

// The host used when none is set: no windows, no questions.
TWindowHost& NonInteractiveWindows();

}  // namespace quorvane
