#include "update/web_update_wizard.h"

#include "app/ui.h"

#include <stdexcept>

namespace quorvane {
namespace {

constexpr const char* currentFileProgress = "Current file progress :";

}  // namespace

const std::string& TWUWIZ::Texts(Text t) {
    static const std::string texts[] = {
        "New version found :",
        "New version :",
        "Current version :",
        "No new version available.",
        "Get update",
        "Exit",
        "No files found for update",
        "Could not connect to update server or",
        " no update found on server ...",
        "Next",
    };
    return texts[t];
}

TWUWIZ::TWUWIZ() { LicenceNextButton.SetEnabled(false); }

TWUWIZ::~TWUWIZ() {
    if (webUpdate_ != nullptr) {
        webUpdate_->OnFileProgress = nullptr;
        webUpdate_->OnProgressCancel = nullptr;
    }
}

void TWUWIZ::SetWebUpdate(TWebUpdate* webUpdate) {
    webUpdate_ = webUpdate;
    Cancelled = false;
    if (webUpdate_ == nullptr) return;
    webUpdate_->OnFileProgress = [this](const std::string& f, std::int64_t size, std::int64_t pos) {
        onFileProgress(f, size, pos);
    };
    webUpdate_->OnProgressCancel = [this] { return Cancelled; };
}

void TWUWIZ::Close() {
    if (closed_) return;
    closed_ = true;
    if (webUpdate_ != nullptr) webUpdate_->StopConnection();
    if (OnClose) OnClose();
}

void TWUWIZ::refuse() {
    UI().MessageBox(webUpdate_->Refusal, Caption, MsgIcon::Exclamation, MsgButtons::Ok, MsgResult::Ok);
    Close();
}

void TWUWIZ::StartButtonClick() {
    // Root and a packaged installation are turned away before anything is fetched.
    if (webUpdate_ != nullptr) {
        webUpdate_->Refusal = webUpdate_->InstallRefusal();
        if (!webUpdate_->Refusal.empty()) {
            refuse();
            return;
        }
    }
    if (webUpdate_ == nullptr || webUpdate_->StartConnection() != wuOk) {
        Close();
        return;
    }
    if (webUpdate_->GetControlFile() != wuOk) {
        versionResult_ = wuNoUpdate;
        // A refused control file says why; a missing one gets the usual words.
        const std::string& why = webUpdate_->Refusal;
        VersionLabel.SetCaption(why.empty() ? Texts(txtCouldNotConnect) + Texts(txtNoUpdateOnServer) : why);
        VersionButton.SetCaption(Texts(txtExit));
        PageControl.SetActivePageIndex(pgVersion);
        return;
    }
    showVersion(webUpdate_->DoVersionCheck());
}

void TWUWIZ::showVersion(int result) {
    versionResult_ = result;
    const TWebUpdate& w = *webUpdate_;
    std::string text;
    if (result == wuDateUpdate) {
        text = Texts(txtNewVersionFound) + "\n\n" + Texts(txtCurrentVersion) + FormatShortDate(w.LastDate) + "\n" +
               Texts(txtNewVersion) + FormatShortDate(w.NewDate) + "\n\n" + w.Description;
    } else if (result == wuVersionUpdate) {
        text = Texts(txtNewVersionFound) + "\n\n" + Texts(txtCurrentVersion) + w.CurrentVersionText + "\n" +
               Texts(txtNewVersion) + w.NewVersionText + "\n\n" + w.Description;
    } else if (result == wuNoUpdate) {
        text = Texts(txtNoNewVersion);
    } else {
        // Unconditional, size and checksum updates have no versions to compare on screen.
        text = Texts(txtNewVersionFound) + "\n\n" + w.Description;
    }
    VersionLabel.SetCaption(text);
    VersionButton.SetCaption(result == wuNoUpdate ? Texts(txtExit) : Texts(txtGetUpdate));
    PageControl.SetActivePageIndex(pgVersion);
}

void TWUWIZ::VersionButtonClick() {
    if (versionResult_ == wuNoUpdate) {
        Close();
        return;
    }
    webUpdate_->HandleActions();
    std::vector<std::string> whatsNew = webUpdate_->GetWhatsNew();
    if (!webUpdate_->Refusal.empty()) {
        refuse();
        return;
    }
    if (!whatsNew.empty()) {
        WhatsNewMemo.SetLines(std::move(whatsNew));
        PageControl.SetActivePageIndex(pgWhatsNew);
        return;
    }
    showLicenceOrFiles();
}

void TWUWIZ::WhatsNewNextButtonClick() { showLicenceOrFiles(); }

void TWUWIZ::showLicenceOrFiles() {
    std::vector<std::string> licence = webUpdate_->GetEULA();
    if (!webUpdate_->Refusal.empty()) {
        refuse();
        return;
    }
    if (licence.empty()) {
        fillFiles(false);
        return;
    }
    LicenceMemo.SetLines(std::move(licence));
    AcceptRadio.SetChecked(false);
    DeclineRadio.SetChecked(false);
    LicenceNextButton.SetEnabled(false);
    LicenceNextButton.SetCaption(Texts(txtNext));
    PageControl.SetActivePageIndex(pgLicence);
}

void TWUWIZ::AcceptRadioClick() {
    AcceptRadio.SetChecked(true);
    DeclineRadio.SetChecked(false);
    LicenceNextButton.SetCaption(Texts(txtNext));
    LicenceNextButton.SetEnabled(true);
}

void TWUWIZ::DeclineRadioClick() {
    DeclineRadio.SetChecked(true);
    AcceptRadio.SetChecked(false);
    LicenceNextButton.SetCaption(Texts(txtExit));
    LicenceNextButton.SetEnabled(true);
}

void TWUWIZ::LicenceNextButtonClick() {
    if (!LicenceNextButton.Enabled()) return;
    if (AcceptRadio.Checked())
        fillFiles(true);
    else
        Close();
}

void TWUWIZ::noFiles() {
    UI().MessageBox(Texts(txtNoFiles), Caption, MsgIcon::Information, MsgButtons::Ok, MsgResult::Ok);
    Close();
}

void TWUWIZ::fillFiles(bool fromLicence) {
    const int count = webUpdate_->GetFileDetails();
    std::vector<TCheckListBox::Item> items;
    for (const TFileDescription& f : webUpdate_->FileList.Items) items.push_back({f.Description, true});
    FileCheckList.SetItems(std::move(items));
    // Coming from the licence page the empty list is shown, and the message waits for Next.
    if (count == 0 && !fromLicence) {
        noFiles();
        return;
    }
    PageControl.SetActivePageIndex(pgFiles);
}

void TWUWIZ::FilesNextButtonClick() {
    auto& items = webUpdate_->FileList.Items;
    const auto& ticks = FileCheckList.Items();
    std::vector<TFileDescription> chosen;
    for (std::size_t i = 0; i < items.size() && i < ticks.size(); ++i)
        if (ticks[i].checked) chosen.push_back(items[i]);
    items = std::move(chosen);
    if (items.empty()) {
        noFiles();
        return;
    }
    PageControl.SetActivePageIndex(pgDownload);
    download();
}

void TWUWIZ::download() {
    Cancelled = false;
    webUpdate_->Cancelled = false;
    FileProgressBar.SetPosition(0);
    TotalProgressBar.SetMax(webUpdate_->FileList.TotalSize());
    TotalProgressBar.SetPosition(0);
    webUpdate_->GetFileUpdates();
    if (!webUpdate_->Refusal.empty()) {
        refuse();
        return;
    }
    if (Cancelled || webUpdate_->Cancelled) {
        Close();
        return;
    }
    webUpdate_->StopConnection();
    PageControl.SetActivePageIndex(pgDone);
}

void TWUWIZ::onFileProgress(const std::string& fileName, std::int64_t size, std::int64_t position) {
    // The control file and the texts arrive before the download page; their progress is not shown.
    if (PageControl.ActivePageIndex() != pgDownload) return;
    const std::size_t slash = fileName.find_last_of('/');
    FileProgressLabel.SetCaption(std::string(currentFileProgress) + " " +
                                 (slash == std::string::npos ? fileName : fileName.substr(slash + 1)));
    FileProgressBar.SetMax(size);
    FileProgressBar.SetPosition(position);
    TotalProgressBar.SetMax(webUpdate_->FileList.TotalSize());
    TotalProgressBar.SetPosition(webUpdate_->FileList.CompletedSize() + position);
}

void TWUWIZ::CancelButtonClick() { Cancelled = true; }

void TWUWIZ::RestartButtonClick() {
    webUpdate_->DoRestart();
    Close();
}

void TWebUpdateWizard::Execute() {
    if (WebUpdate == nullptr) throw std::logic_error("No WebUpdate component assigned");
    TWUWIZ form;
    form.SetWebUpdate(WebUpdate);
    form.Caption = WizardCaption;
    form.CenteredOnScreen = true;
    if (ShowModal) ShowModal(form);
    form.Close();
}

}  // namespace quorvane
