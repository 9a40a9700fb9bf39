#include "gui/window_host_qt.h"

#include "app/ui.h"

#include "app/frm_analyze_drive.h"
#include "app/frm_preview.h"
#include "gui/about_box.h"
#include "gui/analyze_dialog.h"
#include "gui/folder_dialog.h"
#include "gui/format_dialog.h"
#include "gui/main_window.h"
#include "gui/preview_placement.h"
#include "gui/preview_window.h"
#include "gui/update_wizard_component.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>
#include <QUrl>

namespace quorvane::gui {

QtWindowHost::QtWindowHost(MainWindow& main)
    : main_(main), update_(std::make_unique<LiveUpdateComponent>(main.Form(), main)) {}

QtWindowHost::~QtWindowHost() = default;

TModalResult QtWindowHost::ShowAnalyzeDrive(TFrmAnalyzeDrive& dialog) {
    AnalyzeDialog view(dialog, &main_);
    view.exec();
    return dialog.ModalResult == TModalResult::None ? TModalResult::Cancel : dialog.ModalResult;
}

void QtWindowHost::PreviewCreated(TFrmPreview& preview) { preview_ = std::make_unique<PreviewWindow>(preview, &main_); }

void QtWindowHost::PlacePreviewBesideMain(TFrmPreview&) {
    if (!preview_) return;
    // Not shown yet, the preview has no frame of its own: it gets one like the main window's.
    const QRect mainFrame = main_.frameGeometry();
    const QSize frame = preview_->isVisible()
                            ? preview_->frameGeometry().size()
                            : preview_->size() + (mainFrame.size() - main_.geometry().size());
    QRect cancel;
    if (const auto* button = main_.Widget<QWidget>("ButtonCancel")) {
        cancel = QRect(button->mapToGlobal(QPoint(0, 0)), button->size());
    }
    const QScreen* screen = main_.screen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    preview_->move(PreviewPosition(mainFrame, cancel, frame, area));
}

void QtWindowHost::ShowPreviewModal(TFrmPreview&) {
    if (preview_) preview_->ShowModalCentred();
}

void QtWindowHost::PreviewDestroying(TFrmPreview&) { preview_.reset(); }

bool QtWindowHost::ShowSelectFolder(TFrmSelectFolderDialog& dialog) {
    FolderDialog view(dialog, &main_);
    return view.exec() == QDialog::Accepted;
}

bool QtWindowHost::ShowFormatDialog(const DriveEntry& drive, TFormatOptions& options) {
    FormatDialog view(drive, options, &main_);
    return view.exec() == QDialog::Accepted;
}

void QtWindowHost::OpenHelp(const std::string& file) {
    const QString path = QString::fromStdString(file);
    if (!QFileInfo::exists(path)) {
        ShowRefusal("The help pages are not installed: " + file + " is missing.");
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void QtWindowHost::ShowAbout() {
    AboutBox box(update_->About, &main_);
    box.exec();
}

void QtWindowHost::Terminate() {
    // The close that was refused during the run goes through now that the run is over.
    QTimer::singleShot(0, &main_, [this] { main_.close(); });
}

}  // namespace quorvane::gui
