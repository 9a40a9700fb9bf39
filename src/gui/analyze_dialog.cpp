#include "gui/analyze_dialog.h"

#include "app/frm_analyze_drive.h"
#include "app/recovery_plan.h"
#include "gui/control_binding.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>

#include <algorithm>

namespace quorvane::gui {

AnalyzeDialog::AnalyzeDialog(TFrmAnalyzeDrive& form, QWidget* parent) : QDialog(parent), form_(form) {
    setObjectName("FrmAnalyzeDrive");
    setWindowTitle("Analyze Drive");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    // The dialog's small frame holds its texts at the size of a dialog font.
    QFont small = font();
    small.setPointSizeF(std::min(small.pointSizeF(), 8.0));
    setFont(small);

    pages_ = new QStackedWidget(this);
    pages_->setObjectName("PCDriveMethod");

    auto* analyzing = new QWidget;
    analyzing->setObjectName("TSAnalyzingDrive");
    auto* blink = new QLabel(analyzing);
    blink->setObjectName("LabelBlinkAnalyzingDrive");
    blink->setGeometry(40, 30, 200, 20);
    bindLabel(form_.LabelBlinkAnalyzingDrive, blink);

    auto* method = new QWidget;
    method->setObjectName("TSSelectMethod");
    auto* folders = new QLabel(method);
    folders->setObjectName("LabelTotalFolders");
    folders->setGeometry(8, 4, 250, 18);
    bindLabel(form_.LabelTotalFolders, folders);
    // The form keeps the three buttons exclusive; a click on the checked one keeps it checked.
    auto methodButton = [this, method](TCheckBox& control, int y, TRecoveryMethod which) {
        auto* rb = new QRadioButton(method);
        rb->setObjectName(QString::fromStdString(control.Name));
        rb->setGeometry(4, y, 264, 20);
        rb->setAutoExclusive(false);
        bindCheckBox(control, rb, [this, which] { form_.CheckMethod(which); });
        return rb;
    };
    auto* rbBoth = methodButton(form_.RBBothMethods, 26, TRecoveryMethod::Both);
    // The explanation under it wraps to as many lines as the dialog's font needs; the two other
    // methods and the dialog's height follow it.
    auto* both = new QLabel(method);
    both->setObjectName("LabelBothMethods");
    both->setWordWrap(true);
    both->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    both->setForegroundRole(QPalette::PlaceholderText);
    bindLabel(form_.LabelBothMethods, both);
    const int explained = std::max(14, both->heightForWidth(240));
    both->setGeometry(24, 46, 240, explained);
    rbBoth->setToolTip(QString::fromStdString(form_.LabelBothMethods.Caption()));
    const int folderAt = 46 + explained + 6;
    methodButton(form_.RBFolderMethod, folderAt, TRecoveryMethod::Folder);
    methodButton(form_.RBScanMethod, folderAt + 24, TRecoveryMethod::Scan);
    const int pageHeight = std::max(88, folderAt + 24 + 22);

    auto* type = new QWidget;
    type->setObjectName("TSSelectType");
    auto* files = new QLabel(type);
    files->setObjectName("LabelTotalDeletedFiles");
    files->setGeometry(8, 4, 250, 18);
    bindLabel(form_.LabelTotalDeletedFiles, files);
    auto* cbDeleted = new QCheckBox(type);
    cbDeleted->setObjectName("CBRecoverDeletedFiles");
    cbDeleted->setGeometry(8, 30, 250, 20);
    bindCheckBox(form_.CBRecoverDeletedFiles, cbDeleted);
    auto* cbLost = new QCheckBox(type);
    cbLost->setObjectName("CBRecoverLostFiles");
    cbLost->setGeometry(8, 56, 250, 20);
    bindCheckBox(form_.CBRecoverLostFiles, cbLost);

    pages_->addWidget(analyzing);
    pages_->addWidget(method);
    pages_->addWidget(type);
    pages_->setGeometry(2, 4, 268, pageHeight);
    const int buttonsAt = 4 + pageHeight + 6;
    setFixedSize(271, buttonsAt + 31);

    auto* cont = new QPushButton(this);
    cont->setObjectName("ButtonContinue");
    cont->setGeometry(100, buttonsAt, 80, 25);
    cont->setDefault(true);
    auto* cancel = new QPushButton(this);
    cancel->setObjectName("ButtonCancel");
    cancel->setGeometry(186, buttonsAt, 80, 25);
    // Enter starts (Continue), wherever the focus is: Cancel, which has the focus while the
    // analysis runs and Continue is disabled, must not take over as the default button.
    cancel->setAutoDefault(false);
    auto run = [this](void (TFrmAnalyzeDrive::*handler)()) {
        return [this, handler] {
            ++handlersRunning_;
            (form_.*handler)();
            --handlersRunning_;
            sync();
        };
    };
    bindButton(form_.ButtonContinue, cont, run(&TFrmAnalyzeDrive::ButtonContinueClick));
    bindButton(form_.ButtonCancel, cancel, run(&TFrmAnalyzeDrive::ButtonCancelClick));

    bindTimer(form_.AnalyzeTimer, &TFrmAnalyzeDrive::AnalyzeTimerTimer);
    bindTimer(form_.BlinkAnalyzeTimer, &TFrmAnalyzeDrive::BlinkAnalyzeTimerTimer);
    sync();
}

AnalyzeDialog::~AnalyzeDialog() {
    // The form outlives this view: its controls must not call into deleted widgets.
    for (TControl* c : std::initializer_list<TControl*>{
             &form_.LabelBlinkAnalyzingDrive, &form_.LabelTotalFolders, &form_.RBBothMethods, &form_.LabelBothMethods,
             &form_.RBFolderMethod, &form_.RBScanMethod,
             &form_.LabelTotalDeletedFiles, &form_.CBRecoverDeletedFiles, &form_.CBRecoverLostFiles,
             &form_.ButtonContinue, &form_.ButtonCancel, &form_.AnalyzeTimer, &form_.BlinkAnalyzeTimer}) {
        c->onChanged = nullptr;
    }
}

QTimer* AnalyzeDialog::bindTimer(TTimer& timer, void (TFrmAnalyzeDrive::*handler)()) {
    auto* t = new QTimer(this);
    t->setObjectName(QString::fromStdString(timer.Name));
    t->setInterval(timer.Interval);
    t->setSingleShot(false);
    timer.onChanged = [t](const TControl& c) {
        if (c.Enabled() && !t->isActive()) t->start();
        if (!c.Enabled()) t->stop();
    };
    connect(t, &QTimer::timeout, this, [this, handler, &timer] {
        if (!timer.Enabled()) return;
        ++handlersRunning_;
        (form_.*handler)();
        --handlersRunning_;
        sync();
    });
    return t;
}

void AnalyzeDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (shown_) return;
    shown_ = true;
    if (const QScreen* s = screen()) move(s->geometry().center() - rect().center());
    form_.FormShow();
}

void AnalyzeDialog::reject() {
    // Escape and the window's close act as Cancel.
    if (form_.ModalResult == TModalResult::None) {
        ++handlersRunning_;
        form_.ButtonCancelClick();
        --handlersRunning_;
    }
    sync();
}

void AnalyzeDialog::sync() {
    pages_->setCurrentIndex(static_cast<int>(form_.ActivePage));
    // While the analysis runs inside a timer's handler, the dialog stays until that returns.
    if (handlersRunning_ == 0 && form_.ModalResult != TModalResult::None && isVisible()) {
        done(static_cast<int>(form_.ModalResult));
    }
}

}  // namespace quorvane::gui
