#include "gui/preview_window.h"

#include "app/frm_analyze_drive.h"
#include "app/frm_preview.h"
#include "gui/control_binding.h"

#include <QCheckBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>

namespace quorvane::gui {
namespace {
constexpr QSize PictureBox(90, 90);
constexpr QPoint PictureAt(7, 22);

// A damaged file gets a red badge with its word in the picture's top right corner, a whole one
// a small green tick there; the word is the mark's tool tip either way.
void showConditionMark(QLabel* mark, const TPreviewSlot& slot) {
    const QString caption = QString::fromStdString(slot.LBCondition.Caption());
    const bool damaged = slot.Condition == TFileCondition::Damaged;
    mark->setText(damaged ? caption : QString(QChar(0x2713)));
    mark->setToolTip(caption);
    mark->setAccessibleName(caption);
    mark->setStyleSheet(damaged ? "QLabel { background: #c62828; color: white; border-radius: 3px; padding: 0 3px; }"
                                : "QLabel { background: transparent; color: #2e7d32; }");
    mark->adjustSize();
    mark->move(PictureAt.x() + PictureBox.width() - mark->width(), PictureAt.y());
    mark->setVisible(slot.LBCondition.Visible() && !caption.isEmpty());
    mark->raise();
}
}  // namespace

PreviewWindow::PreviewWindow(TFrmPreview& form, QWidget* parent)
    : QDialog(parent), form_(form), thumbnails_(PictureBox) {
    setObjectName("FrmPreview");
    // A fixed dialog frame without title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(TFrmPreview::ClientWidth, TFrmPreview::ClientHeight);
    setModal(false);
    connect(&thumbnails_, &ThumbnailLoader::Ready, this, &PreviewWindow::pictureReady);

    QFont bold = font();
    bold.setBold(true);
    for (int k = 1; k <= 10; ++k) {
        TPreviewSlot& slot = form_.Slot(k);
        auto* panel = new QFrame(this);
        panel->setObjectName(QString::fromStdString(slot.PnPreview.Name));
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setGeometry(slot.Left(), slot.Top(), 104, 120);
        auto* picture = new QLabel(panel);
        picture->setObjectName(QString::fromStdString(slot.ImgPreview.Name));
        picture->setGeometry(QRect(PictureAt, PictureBox));
        picture->setAlignment(Qt::AlignCenter);
        auto* label = new QLabel(panel);
        label->setObjectName(QString::fromStdString(slot.LBPreview.Name));
        label->setGeometry(5, 100, 94, 14);
        label->setAlignment(Qt::AlignCenter);
        label->setFont(bold);
        auto* check = new QCheckBox(panel);
        check->setObjectName(QString::fromStdString(slot.CBPreview.Name));
        check->setGeometry(4, 2, 90, 18);
        auto* mark = new QLabel(panel);
        mark->setObjectName(QString::fromStdString(slot.LBCondition.Name));
        QFont small = bold;
        small.setPointSizeF(std::max(6.0, bold.pointSizeF() - 1));
        mark->setFont(small);
        panels_[static_cast<std::size_t>(k - 1)] = panel;
        pictures_[static_cast<std::size_t>(k - 1)] = picture;
        labels_[static_cast<std::size_t>(k - 1)] = label;

        bindWidget(slot.PnPreview, panel);
        // The label is in front exactly when the picture box is hidden.
        slot.ImgPreview.onChanged = [picture, label](const TControl& c) {
            picture->setVisible(c.Visible());
            if (c.Visible()) {
                label->lower();
            } else {
                label->raise();
                picture->clear();
            }
        };
        slot.ImgPreview.onChanged(slot.ImgPreview);
        bindLabel(slot.LBPreview, label);
        slot.LBCondition.onChanged = [mark, &slot](const TControl&) { showConditionMark(mark, slot); };
        slot.LBCondition.onChanged(slot.LBCondition);
        bindCheckBox(slot.CBPreview, check, [this, k] { form_.CBPreviewClick(k); });
    }

    auto* scroll = new QScrollBar(Qt::Vertical, this);
    scroll->setObjectName("ScrollBarPreview");
    scroll->setGeometry(541, 4, 20, 243);
    scroll->setPageStep(1);
    paintsOwnBackground(scroll);
    bindScrollBar(form_.ScrollBarPreview, scroll, [this] { form_.ScrollBarPreviewScroll(); });

    auto button = [this](TButton& control, int x, void (TFrmPreview::*handler)()) {
        auto* b = new QPushButton(this);
        b->setObjectName(QString::fromStdString(control.Name));
        b->setGeometry(x, 258, 100, 28);
        bindButton(control, b, [this, handler] {
            (form_.*handler)();
            sync();
        });
        return b;
    };
    button(form_.ButtonSelectAll, 4, &TFrmPreview::ButtonSelectAllClick);
    button(form_.ButtonSelectNone, 111, &TFrmPreview::ButtonSelectNoneClick);
    button(form_.ButtonOK, 325, &TFrmPreview::ButtonOKClick)->setDefault(true);
    button(form_.ButtonCancel, 432, &TFrmPreview::ButtonCancelClick);

    form_.LoadPicture = [this](int k, const std::string& path) { return loadPicture(k, path); };
    form_.Form.onChanged = [this](const TControl& c) {
        setWindowTitle(QString::fromStdString(static_cast<const TLabel&>(c).Caption()));
        if (!modal_) setVisible(c.Visible());
    };
    setWindowTitle(QString::fromStdString(form_.Form.Caption()));
}

PreviewWindow::~PreviewWindow() {
    form_.LoadPicture = nullptr;
    form_.PreparePictures = nullptr;
    form_.Form.onChanged = nullptr;
    form_.ScrollBarPreview.onChanged = nullptr;
    for (TControl* c : {&form_.ButtonSelectAll, &form_.ButtonSelectNone, &form_.ButtonOK, &form_.ButtonCancel}) {
        c->onChanged = nullptr;
    }
    for (int k = 1; k <= 10; ++k) {
        TPreviewSlot& slot = form_.Slot(k);
        for (TControl* c : std::initializer_list<TControl*>{&slot.PnPreview, &slot.ImgPreview, &slot.LBPreview,
                                                            &slot.CBPreview, &slot.LBCondition}) {
            c->onChanged = nullptr;
        }
    }
}

bool PreviewWindow::loadPicture(int k, const std::string& path) {
    pictures_[static_cast<std::size_t>(k - 1)]->clear();
    if (!isVisible()) {
        // Nobody sees it now: no decoding while a run goes on with the preview unticked.
        deferred_ = true;
        return true;
    }
    // Decoded beside the window, which goes on meanwhile; the picture fills the slot when it comes.
    thumbnails_.Request(k, QString::fromStdString(path));
    return true;
}

void PreviewWindow::pictureReady(int k, const QString& path, const QImage& image) {
    const TPreviewSlot& slot = form_.Slot(k);
    const auto& staged = form_.Staged();
    // The slot may show another file by now.
    if (slot.Index < 0 || slot.Index >= static_cast<int>(staged.size()) ||
        staged[static_cast<std::size_t>(slot.Index)].Path != path.toStdString()) {
        return;
    }
    if (image.isNull()) {
        form_.PictureFailed(k, path.toStdString());
        return;
    }
    pictures_[static_cast<std::size_t>(k - 1)]->setPixmap(QPixmap::fromImage(image));
}

void PreviewWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!deferred_) return;
    deferred_ = false;
    form_.RedrawPage();
}

void PreviewWindow::ShowModalCentred() {
    const QRect screen = this->screen() != nullptr ? this->screen()->geometry() : QRect(0, 0, 1024, 768);
    move(screen.width() / 2 - width() / 2, screen.height() / 2 - height() / 2);
    modal_ = true;
    form_.ModalResult = TModalResult::None;
    setModal(true);
    exec();
    modal_ = false;
}

void PreviewWindow::reject() {
    // Escape: Cancel at the end of the run; during the run the window stays.
    if (modal_) {
        form_.ButtonCancelClick();
        sync();
    }
}

void PreviewWindow::sync() {
    if (modal_ && form_.ModalResult != TModalResult::None) done(static_cast<int>(form_.ModalResult));
}

}  // namespace quorvane::gui
