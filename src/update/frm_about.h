#pragma once
// The About box without its toolkit: the application title, the version and the legal notice
// of the program's own version resource, and the way into the live update.
#include "app/controls.h"

#include <functional>
#include <string>

namespace quorvane {

class TWebUpdateWizard;

class TFrmAbout {
public:
    // How the view draws the title.
    static constexpr const char* TitleFontName = "Tahoma";
    static constexpr int TitleFontPixels = 19;
    static constexpr bool TitleBold = true;

    explicit TFrmAbout(std::string applicationTitle = "Quorvane");

    std::string ApplicationTitle;
    std::string Caption;
    // The file whose version is shown: the running program by default.
    std::string ExecutablePath;
    // The wizard that "Get Updates" runs; none: the button does nothing.
    TWebUpdateWizard* UpdateWizard = nullptr;
    // Installed from a distribution package: the package manager brings updates, and "Get
    // Updates" says so instead of running the wizard.
    bool Packaged = InstalledFromPackage;
    static const bool InstalledFromPackage;
    static constexpr const char* PackagedUpdateNote =
        "This copy of Quorvane was installed from a package. Your system's package manager (Software, "
        "Discover or apt) brings its updates.";
    // The view hides the box and shows the main window again.
    std::function<void()> OnClose;

    TLabel LabelTitle{"LabelTitle", ""};
    TLabel LabelVersion{"LabelVersion", ""};
    TLabel LabelLegal{"LabelLegal", ""};
    TButton ButtonGetUpdates{"ButtonGetUpdates", "Get Updates"};
    TButton ButtonOK{"ButtonOK", ""};

    // Each time the box is shown: reads the version resource again.
    void FormShow();
    // Makes the program's folder the current directory and runs the update wizard; a packaged
    // program shows PackagedUpdateNote instead.
    void ButtonGetUpdatesClick();
    void ButtonOKClick();
};

}  // namespace quorvane
