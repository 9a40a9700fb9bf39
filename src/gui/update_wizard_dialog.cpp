#include "gui/update_wizard_dialog.h"

#include "gui/control_binding.h"
#include "update/web_update_wizard.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStackedWidget>

namespace quorvane::gui {
namespace {

constexpr int wizardWidth = 460;
constexpr int wizardHeight = 320;
constexpr int margin = 16;
constexpr int contentWidth = wizardWidth - 2 * margin;
// Every page has its one button in the same place, bottom right.
constexpr int buttonTop = wizardHeight - 44;

QString qs(const std::string& s) { return QString::fromStdString(s); }

template <class W>
W* make(QWidget* parent, const std::string& name, int x, int y, int w, int h) {
    auto* widget = new W(parent);
    widget->setObjectName(qs(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

QWidget* page(QStackedWidget* pages, const char* name) {
    auto* p = new QWidget;
    p->setObjectName(name);
    pages->addWidget(p);
    return p;
}

// Texts of the wizard come from the update server: shown as written, never as markup.
QLabel* textLabel(QWidget* parent, TLabel& control, int y, int h) {
    auto* label = make<QLabel>(parent, control.Name, margin, y, contentWidth, h);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    bindLabel(control, label);
    return label;
}

void bindMemo(TMemo& memo, QPlainTextEdit* widget) {
    widget->setReadOnly(true);
    auto show = [widget](const TControl& c) {
        QStringList lines;
        for (const std::string& line : static_cast<const TMemo&>(c).Lines()) lines << qs(line);
        widget->setPlainText(lines.join('\n'));
        widget->setEnabled(c.Enabled());
    };
    memo.onChanged = show;
    show(memo);
}

// A list of check boxes: the form's items and marks are shown, the user's marks go back.
void bindCheckList(TCheckListBox& list, QListWidget* widget) {
    auto show = [widget](const TControl& c) {
        const auto& items = static_cast<const TCheckListBox&>(c).Items();
        const QSignalBlocker block(widget);
        if (widget->count() != static_cast<int>(items.size())) {
            widget->clear();
            for (std::size_t i = 0; i < items.size(); ++i) widget->addItem(QString());
        }
        for (int row = 0; row < widget->count(); ++row) {
            const auto& item = items[static_cast<std::size_t>(row)];
            QListWidgetItem* shown = widget->item(row);
            shown->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            shown->setText(qs(item.caption));
            shown->setCheckState(item.checked ? Qt::Checked : Qt::Unchecked);
        }
        widget->setEnabled(c.Enabled());
    };
    list.onChanged = show;
    show(list);
    QObject::connect(widget, &QListWidget::itemChanged, widget, [&list, widget](QListWidgetItem* item) {
        list.SetChecked(static_cast<std::size_t>(widget->row(item)), item->checkState() == Qt::Checked);
    });
}

}  // namespace

UpdateWizardDialog::UpdateWizardDialog(TWUWIZ& form, QWidget* parent) : QDialog(parent), form_(form) {
    setObjectName("WUWIZ");
    setWindowTitle(qs(form_.Caption));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(wizardWidth, wizardHeight);

    pages_ = new QStackedWidget(this);
    pages_->setObjectName(qs(form_.PageControl.Name));
    pages_->setGeometry(0, 0, wizardWidth, wizardHeight);
    buildPages();
    auto showPage = [this](const TControl&) { pages_->setCurrentIndex(form_.PageControl.ActivePageIndex()); };
    form_.PageControl.onChanged = showPage;
    showPage(form_.PageControl);

    form_.OnClose = [this] { done(QDialog::Rejected); };
}

UpdateWizardDialog::~UpdateWizardDialog() {
    // The form is closed once more after its view has gone: nothing may reach this view then.
    for (TControl* c : std::initializer_list<TControl*>{
             &form_.PageControl, &form_.WelcomeLabel, &form_.StartButton, &form_.VersionLabel, &form_.VersionButton,
             &form_.WhatsNewMemo, &form_.WhatsNewNextButton, &form_.LicenceMemo, &form_.AcceptRadio,
             &form_.DeclineRadio, &form_.LicenceNextButton, &form_.FilesLabel, &form_.FileCheckList,
             &form_.FilesNextButton, &form_.FileProgressLabel, &form_.FileProgressBar, &form_.TotalProgressBar,
             &form_.CancelButton, &form_.DoneLabel, &form_.RestartLabel, &form_.RestartButton}) {
        c->onChanged = nullptr;
    }
    form_.OnClose = nullptr;
}

void UpdateWizardDialog::buildPages() {
    auto button = [this](QWidget* parent, TButton& control, void (TWUWIZ::*handler)()) {
        auto* b = make<QPushButton>(parent, control.Name, wizardWidth - margin - 110, buttonTop, 110, 28);
        b->setDefault(true);
        bindButton(control, b, [this, handler] { run(handler); });
        return b;
    };

    QWidget* welcome = page(pages_, "TSWelcome");
    textLabel(welcome, form_.WelcomeLabel, margin, 60);
    button(welcome, form_.StartButton, &TWUWIZ::StartButtonClick);

    QWidget* version = page(pages_, "TSVersion");
    textLabel(version, form_.VersionLabel, margin, buttonTop - 2 * margin);
    button(version, form_.VersionButton, &TWUWIZ::VersionButtonClick);

    QWidget* whatsNew = page(pages_, "TSWhatsNew");
    bindMemo(form_.WhatsNewMemo,
             make<QPlainTextEdit>(whatsNew, form_.WhatsNewMemo.Name, margin, margin, contentWidth, buttonTop - 2 * margin));
    button(whatsNew, form_.WhatsNewNextButton, &TWUWIZ::WhatsNewNextButtonClick);

    QWidget* licence = page(pages_, "TSLicence");
    bindMemo(form_.LicenceMemo, make<QPlainTextEdit>(licence, form_.LicenceMemo.Name, margin, margin, contentWidth, 190));
    // The form keeps the two radio buttons exclusive.
    auto* accept = make<QRadioButton>(licence, form_.AcceptRadio.Name, margin, 214, 200, 20);
    accept->setAutoExclusive(false);
    bindCheckBox(form_.AcceptRadio, accept, [this] { run(&TWUWIZ::AcceptRadioClick); });
    auto* decline = make<QRadioButton>(licence, form_.DeclineRadio.Name, margin, 240, 200, 20);
    decline->setAutoExclusive(false);
    bindCheckBox(form_.DeclineRadio, decline, [this] { run(&TWUWIZ::DeclineRadioClick); });
    button(licence, form_.LicenceNextButton, &TWUWIZ::LicenceNextButtonClick);

    QWidget* files = page(pages_, "TSFiles");
    textLabel(files, form_.FilesLabel, margin, 20);
    bindCheckList(form_.FileCheckList,
                  make<QListWidget>(files, form_.FileCheckList.Name, margin, margin + 24, contentWidth, buttonTop - 3 * margin - 8));
    button(files, form_.FilesNextButton, &TWUWIZ::FilesNextButtonClick);

    QWidget* download = page(pages_, "TSDownload");
    auto* fileLabel = textLabel(download, form_.FileProgressLabel, 40, 20);
    fileLabel->setWordWrap(false);
    auto bar = [download](TProgressBar& control, int y) {
        auto* b = make<QProgressBar>(download, control.Name, margin, y, contentWidth, 20);
        b->setTextVisible(false);
        bindProgressBar(control, b);
    };
    bar(form_.FileProgressBar, 66);
    bar(form_.TotalProgressBar, 110);
    // Cancel is taken while the download runs inside the Next handler.
    bindButton(form_.CancelButton,
               make<QPushButton>(download, form_.CancelButton.Name, wizardWidth - margin - 110, buttonTop, 110, 28),
               [this] { form_.CancelButtonClick(); });

    QWidget* done = page(pages_, "TSDone");
    QFont bold = font();
    bold.setBold(true);
    textLabel(done, form_.DoneLabel, 40, 20)->setFont(bold);
    textLabel(done, form_.RestartLabel, 70, 40);
    button(done, form_.RestartButton, &TWUWIZ::RestartButtonClick);
}

void UpdateWizardDialog::run(void (TWUWIZ::*handler)()) {
    if (handlersRunning_ > 0 || form_.IsClosed()) return;
    ++handlersRunning_;
    (form_.*handler)();
    --handlersRunning_;
    if (closeRequested_ && !form_.IsClosed()) form_.Close();
}

void UpdateWizardDialog::reject() {
    // Escape and the window's close button. While a handler downloads, the connection is in
    // use: the download is cancelled and the form closes once the handler has returned.
    if (handlersRunning_ > 0) {
        closeRequested_ = true;
        form_.CancelButtonClick();
        return;
    }
    if (form_.IsClosed()) {
        done(QDialog::Rejected);
        return;
    }
    form_.Close();
}

void UpdateWizardDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (form_.CenteredOnScreen) {
        if (const QScreen* s = screen()) move(s->geometry().center() - rect().center());
    }
}

void ShowUpdateWizard(TWUWIZ& form, QWidget* parent) {
    if (form.IsClosed()) return;
    UpdateWizardDialog view(form, parent);
    view.exec();
}

}  // namespace quorvane::gui
