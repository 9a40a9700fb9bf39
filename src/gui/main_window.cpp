#include "gui/main_window.h"

#include "app/frm_main.h"
#include "app/messages.h"
#include "app/ui.h"
#include "gui/busy_strip.h"
#include "gui/control_binding.h"
#include "platform/block_device_events.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSocketNotifier>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

namespace quorvane::gui {
namespace {

template <class W>
W* make(QWidget* parent, const std::string& name, int x, int y, int w, int h) {
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromStdString(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

QLabel* text(QWidget* parent, const QString& caption, int x, int y, int w = 120, int h = 17) {
    auto* label = new QLabel(caption, parent);
    label->setGeometry(x, y, w, h);
    return label;
}

QGroupBox* frame(QWidget* parent, const QString& caption, int x, int y, int w, int h) {
    auto* box = new QGroupBox(caption, parent);
    box->setGeometry(x, y, w, h);
    return box;
}

}  // namespace

MainWindow::MainWindow(TFrmMain& form) : form_(form) {
    setObjectName("FrmMain");
    setWindowTitle("Quorvane");
    // A single fixed frame with the system menu and a minimise button.
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(710, 298);

    buildMenu();
    pages_ = new QStackedWidget(this);
    pages_->setObjectName("PageControl");
    pages_->setGeometry(124, 4, 582, 290);
    pages_->addWidget(buildRecoverPage());
    pages_->addWidget(buildToolsPage());
    pages_->addWidget(buildOptionsPage());
    syncPage();
    watchDrives();
}

void MainWindow::watchDrives() {
    // The kernel says at once when a block device comes, goes or changes; a poll of sysfs every two
    // seconds catches what it cannot tell (no uevent socket, a card reader that reports nothing).
    deviceEvents_ = std::make_unique<BlockDeviceEvents>();
    if (deviceEvents_->valid()) {
        auto* notifier = new QSocketNotifier(deviceEvents_->fd(), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            // The device nodes and sysfs settle a moment after the message.
            if (deviceEvents_->Drain()) QTimer::singleShot(300, this, [this] { form_.CheckDrives(); });
        });
    }
    auto* poll = new QTimer(this);
    poll->setObjectName("DrivePoll");
    connect(poll, &QTimer::timeout, this, [this] { form_.CheckDrives(); });
    poll->start(2000);
}

MainWindow::~MainWindow() {
    // The form may outlive its view (tests): its controls must not reach deleted widgets.
    for (TControl* c : std::initializer_list<TControl*>{
             &form_.ListBoxDrives, &form_.EditDestPath, &form_.ButtonBrowse, &form_.GProgress, &form_.ButtonStart,
             &form_.ButtonCancel, &form_.LabelInfoMedia, &form_.LabelInfoCapacity, &form_.LabelInfoBytesPerSec,
             &form_.LabelInfoStatus, &form_.LabelInfoImagesFound, &form_.LabelInfoReadErrors, &form_.LabelCurrSec,
             &form_.LabelInfoCurrentSector, &form_.cb_preview, &form_.Animate1, &form_.FormatButton, &form_.WipeButton,
             &form_.WipeCancelButton, &form_.WipeGauge, &form_.EditFilenamePrefix, &form_.TrackBarSecAtOnce,
             &form_.TrackBarRetryCount, &form_.CBKeepNames}) {
        c->onChanged = nullptr;
    }
}

void MainWindow::buildMenu() {
    auto* panel = new QFrame(this);
    panel->setObjectName("PanelMenu");
    panel->setGeometry(0, 0, 120, 298);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setAutoFillBackground(true);
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, p.color(QPalette::Dark));
    panel->setPalette(p);
    menu_ = new QButtonGroup(this);
    menu_->setExclusive(true);
    struct Entry {
        const char* name;
        const char* caption;
        void (TFrmMain::*handler)();
        bool grouped;
    };
    const Entry entries[] = {
        {"ButtonMain", "Recovery", &TFrmMain::ButtonMainClick, true},
        {"ButtonUtil", "Tools", &TFrmMain::ButtonUtilClick, true},
        {"ButtonOptions", "Settings", &TFrmMain::ButtonOptionsClick, true},
        {"ButtonHelp", "Help", &TFrmMain::ButtonHelpClick, false},
        {"ButtonAbout", "About", &TFrmMain::ButtonAboutClick, false},
    };
    int y = 10;
    QFont bold = font();
    bold.setBold(true);
    for (const auto& e : entries) {
        auto* b = make<QToolButton>(panel, e.name, 6, y, 108, 44);
        b->setText(e.caption);
        b->setAutoRaise(true);  // flat
        b->setFont(bold);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        if (e.grouped) {
            b->setCheckable(true);
            menu_->addButton(b, static_cast<int>(menuButtons_.size()));
            menuButtons_.push_back(b);
            b->installEventFilter(this);
        }
        const auto handler = e.handler;
        connect(b, &QToolButton::clicked, this, [this, handler] {
            (form_.*handler)();
            syncPage();
        });
        y += 50;
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // While Start is disabled the page buttons do not even go down.
    if ((event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) &&
        std::find(menuButtons_.begin(), menuButtons_.end(), watched) != menuButtons_.end() && !form_.ButtonMainMouseDown()) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::syncPage() {
    const int page = static_cast<int>(form_.ActivePage);
    pages_->setCurrentIndex(page);
    if (page < static_cast<int>(menuButtons_.size())) menuButtons_[static_cast<std::size_t>(page)]->setChecked(true);
}

QWidget* MainWindow::buildRecoverPage() {
    auto* page = new QWidget;
    page->setObjectName("TSRecover");

    auto* driveFrame = frame(page, "Drive to recover", 0, 0, 290, 58);
    // Drive names are long ("Generic STORAGE DEVICE (sdb1, 29.72 GB)"): the box takes the frame's
    // width but for a small open button, its list is as wide as the longest name, and the full
    // name of the chosen drive is its tooltip.
    auto* drives = make<QComboBox>(driveFrame, "ListBoxDrives", 8, 24, 238, 26);
    drives->setIconSize(QSize(16, 16));
    bindComboBox(form_.ListBoxDrives, drives, [this] { form_.ListBoxDrivesChange(); });
    auto* open = make<QPushButton>(driveFrame, "ButtonOpenImage", 250, 24, 34, 26);
    open->setIcon(QIcon::fromTheme("document-open", style()->standardIcon(QStyle::SP_DialogOpenButton)));
    open->setToolTip("Open image...");
    connect(open, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, "Open image", QString(), "Disk images (*.img *.ima *.dd *.raw *.bin *.iso);;All files (*)");
        if (!path.isEmpty()) OpenImage(path);
    });
    // The drive box and Open image... are disabled together during a run.
    auto driveChanged = form_.ListBoxDrives.onChanged;
    form_.ListBoxDrives.onChanged = [driveChanged, open, drives](const TControl& c) {
        driveChanged(c);
        open->setEnabled(c.Enabled());
        drives->setToolTip(drives->currentText());
        int widest = drives->width();
        for (int i = 0; i < drives->count(); ++i)
            widest = std::max(widest, drives->fontMetrics().horizontalAdvance(drives->itemText(i)) + 48);
        drives->view()->setMinimumWidth(widest);
    };
    drives->setToolTip(drives->currentText());

    auto* destFrame = frame(page, "Where do you want to save recovered files?", 0, 62, 290, 58);
    bindEdit(form_.EditDestPath, make<QLineEdit>(destFrame, "EditDestPath", 8, 24, 238, 26));
    bindButton(form_.ButtonBrowse, make<QPushButton>(destFrame, "ButtonBrowse", 250, 24, 34, 26),
               [this] { form_.ButtonBrowseClick(); });

    text(page, "Progress:", 2, 128, 60);
    auto* progress = make<QProgressBar>(page, "GProgress", 62, 128, 228, 18);
    progress->setTextVisible(false);
    paintsOwnBackground(progress);
    bindProgressBar(form_.GProgress, progress);

    bindButton(form_.ButtonStart, make<QPushButton>(page, "ButtonStart", 2, 156, 90, 30), [this] { form_.ButtonStartClick(); });
    bindButton(form_.ButtonCancel, make<QPushButton>(page, "ButtonCancel", 98, 156, 90, 30), [this] { form_.ButtonCancelClick(); });
    bindCheckBox(form_.cb_preview, make<QCheckBox>(page, "cb_preview", 200, 162, 88, 20), [this] { form_.cb_previewClick(); });
    bindAnimation(page);

    auto* status = frame(page, "Status", 296, 0, 284, 288);
    QFont bold = font();
    bold.setBold(true);
    text(status, "Media", 10, 22)->setFont(bold);
    struct Pair {
        const char* caption;
        TLabel* value;
        int y;
    };
    const Pair pairs[] = {
        {"Media:", &form_.LabelInfoMedia, 44},
        {"Capacity:", &form_.LabelInfoCapacity, 64},
        {"Sector Size:", &form_.LabelInfoBytesPerSec, 84},
        {"Status:", &form_.LabelInfoStatus, 146},
        {"Images found:", &form_.LabelInfoImagesFound, 166},
        {"Read errors:", &form_.LabelInfoReadErrors, 186},
        {nullptr, &form_.LabelInfoCurrentSector, 206},
    };
    text(status, "Current Status", 10, 122)->setFont(bold);
    for (const auto& pair : pairs) {
        if (pair.caption != nullptr) {
            text(status, pair.caption, 20, pair.y, 110);
        } else {
            bindLabel(form_.LabelCurrSec, make<QLabel>(status, form_.LabelCurrSec.Name, 20, pair.y, 110, 17));
        }
        auto* value = make<QLabel>(status, pair.value->Name, 134, pair.y, 144, 17);
        paintsOwnBackground(value);
        bindLabel(*pair.value, value);
    }
    return page;
}

void MainWindow::bindAnimation(QWidget* page) {
    // The busy animation: the GIF next to the program when there is one, else a busy bar.
    QWidget* shown = nullptr;
    const QString file = QString::fromStdString(form_.Animate1.FileName);
    if (!file.isEmpty() && QFileInfo::exists(file)) {
        auto* label = make<QLabel>(page, form_.Animate1.Name, 2, 196, 288, 90);
        auto* movie = new QMovie(file, QByteArray(), label);
        if (movie->isValid()) {
            label->setMovie(movie);
            label->setAlignment(Qt::AlignCenter);
            paintsOwnBackground(label);
            shown = label;
            form_.Animate1.onChanged = [label, movie](const TControl& c) {
                const auto& a = static_cast<const TAnimate&>(c);
                label->setVisible(a.Visible());
                if (a.Active()) movie->start(); else movie->stop();
            };
        } else {
            delete label;
        }
    }
    if (shown == nullptr) {
        auto* strip = make<BusyStrip>(page, form_.Animate1.Name, 2, 200, 288, 12);
        form_.Animate1.onChanged = [strip](const TControl& c) {
            strip->setVisible(c.Visible());
            strip->SetActive(c.Visible() && static_cast<const TAnimate&>(c).Active());
        };
        shown = strip;
    }
    form_.Animate1.onChanged(form_.Animate1);
}

QWidget* MainWindow::buildToolsPage() {
    auto* page = new QWidget;
    page->setObjectName("TSUtil");
    auto* format = frame(page, "Format", 0, 0, 580, 110);
    auto* formatText = text(format,
                            "Format the card when your camera or computer reports it as corrupt, not initialised or "
                            "not mounting. Recover your pictures first: formatting gives the card a new, empty "
                            "file system.",
                            10, 24, 440, 76);
    formatText->setWordWrap(true);
    formatText->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    bindButton(form_.FormatButton, make<QPushButton>(format, "FormatButton", 470, 30, 96, 30),
               [this] { form_.FormatButtonClick(); });

    auto* wipe = frame(page, "Wipe", 0, 118, 580, 170);
    auto* wipeText = text(wipe,
                          "Select the Wipe Option after using your card to wipe old data off of the card.  This "
                          "allows the media to start with a 'clean slate'.",
                          10, 24, 440, 60);
    wipeText->setWordWrap(true);
    wipeText->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    bindButton(form_.WipeButton, make<QPushButton>(wipe, "WipeButton", 470, 30, 96, 30), [this] { form_.WipeButtonClick(); });
    text(wipe, "Progress:", 10, 100, 60);
    auto* gauge = make<QProgressBar>(wipe, "WipeGauge", 74, 100, 376, 18);
    bindProgressBar(form_.WipeGauge, gauge);
    bindButton(form_.WipeCancelButton, make<QPushButton>(wipe, "WipeCancelButton", 470, 94, 96, 30),
               [this] { form_.WipeCancelButtonClick(); });
    return page;
}

QWidget* MainWindow::buildOptionsPage() {
    auto* page = new QWidget;
    page->setObjectName("TSOptions");
    auto* prefix = frame(page, "Recovered File Prefix", 0, 0, 580, 62);
    bindEdit(form_.EditFilenamePrefix, make<QLineEdit>(prefix, "EditFilenamePrefix", 10, 26, 200, 26));
    bindCheckBox(form_.CBKeepNames, make<QCheckBox>(prefix, "CBKeepNames", 220, 28, 350, 22), [] {});

    auto* tune = frame(page, "Tune Your Recovery", 0, 70, 580, 218);
    text(tune, "My reader connection is ", 10, 26, 300);
    text(tune, "Slow", 10, 56, 40);
    auto* secAtOnce = make<QSlider>(tune, "TrackBarSecAtOnce", 54, 50, 440, 30);
    secAtOnce->setOrientation(Qt::Horizontal);
    secAtOnce->setTickPosition(QSlider::TicksBelow);
    bindTrackBar(form_.TrackBarSecAtOnce, secAtOnce);
    text(tune, "Fast", 502, 56, 40);
    text(tune, "Give up on recovery", 10, 110, 300);
    text(tune, "Easily", 10, 140, 44);
    auto* retry = make<QSlider>(tune, "TrackBarRetryCount", 54, 134, 440, 30);
    retry->setOrientation(Qt::Horizontal);
    retry->setTickPosition(QSlider::TicksBelow);
    bindTrackBar(form_.TrackBarRetryCount, retry);
    text(tune, "Persist", 502, 140, 60);
    return page;
}

void MainWindow::OpenImage(const QString& path) {
    std::string error;
    if (!form_.AddImage(path.toStdString(), error)) ShowRefusal(error);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!form_.FormCloseQuery()) {
        event->ignore();
        return;
    }
    form_.FormClose();
    event->accept();
}

}  // namespace quorvane::gui
