#pragma once
// The desktop's window host: the analysis dialog, the preview window, the folder chooser, the
// format dialog, help and About, shown over the main window.
#include "app/window_host.h"

#include <memory>

namespace quorvane::gui {

class LiveUpdateComponent;
class MainWindow;
class PreviewWindow;

class QtWindowHost : public TWindowHost {
public:
    explicit QtWindowHost(MainWindow& main);
    ~QtWindowHost() override;

    TModalResult ShowAnalyzeDrive(TFrmAnalyzeDrive& dialog) override;
    void PreviewCreated(TFrmPreview& preview) override;
    void PlacePreviewBesideMain(TFrmPreview& preview) override;
    void ShowPreviewModal(TFrmPreview& preview) override;
    void PreviewDestroying(TFrmPreview& preview) override;
    bool ShowSelectFolder(TFrmSelectFolderDialog& dialog) override;
    bool ShowFormatDialog(const DriveEntry& drive, TFormatOptions& options) override;
    void OpenHelp(const std::string& file) override;
    void ShowAbout() override;
    void Terminate() override;

    // The preview window of the run under way, or null (tests).
    PreviewWindow* Preview() const { return preview_.get(); }
    // The update component, its wizard and the About box, made with the main window.
    LiveUpdateComponent& Update() { return *update_; }

private:
    MainWindow& main_;
    std::unique_ptr<PreviewWindow> preview_;
    std::unique_ptr<LiveUpdateComponent> update_;
};

}  // namespace quorvane::gui
