#pragma once
// The live update wizard without its toolkit: seven pages on a page control with hidden tabs,
// their texts and buttons, and the handlers that lead TWebUpdate through one update. A view
// shows TWUWIZ modally and forwards clicks to the handlers; OnClose tells it to go away.
#include "app/controls.h"
#include "update/web_update.h"
#include "update/wizard_controls.h"

#include <functional>
#include <string>
#include <vector>

namespace quorvane {

class TWUWIZ {
public:
    enum Page : int { pgWelcome, pgVersion, pgWhatsNew, pgLicence, pgFiles, pgDownload, pgDone, pgCount };

    // The form's hidden list of texts, by index.
    enum Text : int {
        txtNewVersionFound,
        txtNewVersion,
        txtCurrentVersion,
        txtNoNewVersion,
        txtGetUpdate,
        txtExit,
        txtNoFiles,
        txtCouldNotConnect,
        txtNoUpdateOnServer,
        txtNext,
    };
    static const std::string& Texts(Text t);

    TWUWIZ();
    ~TWUWIZ();
    TWUWIZ(const TWUWIZ&) = delete;
    TWUWIZ& operator=(const TWUWIZ&) = delete;

    // Attaches the component: its download progress and cancel question come to this form.
    void SetWebUpdate(TWebUpdate* webUpdate);

    std::string Caption;
    bool CenteredOnScreen = true;
    bool Cancelled = false;
    std::function<void()> OnClose;
    bool IsClosed() const { return closed_; }

    TPageControl PageControl{"PageControl", pgCount};
    // 1. Welcome
    TLabel WelcomeLabel{"WelcomeLabel", "Press start to start checking for available application updates ..."};
    TButton StartButton{"StartButton", "Start"};
    // 2. Version
    TLabel VersionLabel{"VersionLabel", ""};
    TButton VersionButton{"VersionButton", ""};
    // 3. What's new
    TMemo WhatsNewMemo{"WhatsNewMemo"};
    TButton WhatsNewNextButton{"WhatsNewNextButton", "Next"};
    // 4. Licence
    TMemo LicenceMemo{"LicenceMemo"};
    TRadioButton AcceptRadio{"AcceptRadio", "I Accept"};
    TRadioButton DeclineRadio{"DeclineRadio", "I do not accept"};
    TButton LicenceNextButton{"LicenceNextButton", "Next"};
    // 5. Files
    TLabel FilesLabel{"FilesLabel", "Available application components :"};
    TCheckListBox FileCheckList{"FileCheckList"};
    TButton FilesNextButton{"FilesNextButton", "Next"};
    // 6. Downloading
    TLabel FileProgressLabel{"FileProgressLabel", "Current file progress :"};
    TProgressBar FileProgressBar{"FileProgressBar"};
    TProgressBar TotalProgressBar{"TotalProgressBar"};
    TButton CancelButton{"CancelButton", "Cancel"};
    // 7. Done
    TLabel DoneLabel{"DoneLabel", "Update completed ..."};
    TLabel RestartLabel{"RestartLabel", "Press restart to start the updated application."};
    TButton RestartButton{"RestartButton", "Restart"};

    // Handlers.
    void StartButtonClick();
    void VersionButtonClick();
    void WhatsNewNextButtonClick();
    void AcceptRadioClick();
    void DeclineRadioClick();
    void LicenceNextButtonClick();
    void FilesNextButtonClick();
    void CancelButtonClick();
    void RestartButtonClick();
    // Closing the form in any way: ends the session and tells the view.
    void Close();

private:
    void showVersion(int result);
    void showLicenceOrFiles();
    void fillFiles(bool fromLicence);
    void download();
    void onFileProgress(const std::string& fileName, std::int64_t size, std::int64_t position);
    void noFiles();
    // Shows why the update was refused (TWebUpdate::Refusal) and closes.
    void refuse();

    TWebUpdate* webUpdate_ = nullptr;
    int versionResult_ = wuNoUpdate;
    bool closed_ = false;
};

class TWebUpdateWizard {
public:
    TWebUpdate* WebUpdate = nullptr;
    // The front end shows the form modally and returns once it has closed.
    std::function<void(TWUWIZ&)> ShowModal;

    // Raises std::logic_error "No WebUpdate component assigned" without a component.
    void Execute();
};

inline constexpr const char* WizardCaption = "Live Update for Quorvane";

}  // namespace quorvane
