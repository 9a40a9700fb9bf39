#include "gui/folder_dialog.h"

#include "app/frm_analyze_drive.h"
#include "app/frm_select_folder_dialog.h"
#include "gui/control_binding.h"

#include <QAbstractItemDelegate>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>

#include <cerrno>

namespace quorvane::gui {

FolderDialog::FolderDialog(TFrmSelectFolderDialog& form, QWidget* parent) : QDialog(parent), form_(form) {
    setObjectName("FrmSelectFolderDialog");
    setWindowTitle(TFrmSelectFolderDialog::Caption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(TFrmSelectFolderDialog::ClientWidth, TFrmSelectFolderDialog::ClientHeight);

    auto* label = new QLabel(this);
    label->setObjectName("Label1");
    label->setGeometry(8, 6, 200, 17);
    bindLabel(form_.Label1, label);

    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setReadOnly(false);  // in-place naming of a new folder renames it on disk
    model_->setRootPath("/");
    tree_ = new QTreeView(this);
    tree_->setObjectName("ShellTreeView1");
    tree_->setGeometry(8, 26, 313, 193);
    tree_->setModel(model_);
    for (int column = 1; column < model_->columnCount(); ++column) tree_->hideColumn(column);
    tree_->header()->hide();
    tree_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    // The model reads folders in the background: the path chosen is shown again as its
    // parents arrive, until the user picks another folder.
    connect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString&) {
        if (!pending_.isEmpty()) SelectPath(pending_);
    });
    connect(tree_, &QTreeView::clicked, this, [this] { pending_.clear(); });
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { form_.SelectedPath = model_->filePath(current).toStdString(); });

    auto* newBtn = new QPushButton(this);
    newBtn->setObjectName("NewBtn");
    newBtn->setGeometry(8, 230, 96, 28);
    form_.MakeFolder = [this](const std::string& path) {
        const QString folder = QString::fromStdString(path);
        if (QFileInfo::exists(folder)) return EEXIST;
        const QFileInfo made(folder);
        const QModelIndex parent = model_->index(made.absolutePath());
        if (!parent.isValid()) return ENOENT;
        if (model_->mkdir(parent, made.fileName()).isValid()) return 0;
        return QFileInfo::exists(folder) ? EEXIST : EACCES;
    };
    bindButton(form_.NewBtn, newBtn, [this] {
        const std::string made = form_.NewBtnClick();
        if (made.empty()) return;
        pending_.clear();
        const QModelIndex index = model_->index(QString::fromStdString(made));
        tree_->expand(index.parent());
        tree_->setCurrentIndex(index);
        tree_->scrollTo(index);
        tree_->edit(index);
    });
    auto* ok = new QPushButton(this);
    ok->setObjectName("OKBtn");
    ok->setGeometry(150, 230, 80, 28);
    ok->setDefault(true);
    bindButton(form_.OKBtn, ok, [this] {
        commitTypedName();
        form_.OKBtnClick();
        sync();
    });
    auto* cancel = new QPushButton(this);
    cancel->setObjectName("CancelBtn");
    cancel->setGeometry(238, 230, 80, 28);
    bindButton(form_.CancelBtn, cancel, [this] { reject(); });

    SelectPath(QString::fromStdString(form_.SelectedPath));
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }
}

FolderDialog::~FolderDialog() {
    for (TControl* c : std::initializer_list<TControl*>{&form_.Label1, &form_.NewBtn, &form_.OKBtn, &form_.CancelBtn}) {
        c->onChanged = nullptr;
    }
}

void FolderDialog::SelectPath(const QString& path) {
    pending_ = path;
    const QModelIndex index = model_->index(path);
    if (!index.isValid()) return;
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) tree_->expand(up);
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index);
    form_.SelectedPath = path.toStdString();
}

void FolderDialog::commitTypedName() {
    const QModelIndex current = tree_->currentIndex();
    QWidget* editor = current.isValid() ? tree_->indexWidget(current) : nullptr;
    if (editor == nullptr) return;
    // The row keeps its place and now carries the new name, which sync() takes as the choice.
    tree_->itemDelegateForIndex(current)->setModelData(editor, model_, current);
}

void FolderDialog::reject() {
    form_.CancelBtnClick();
    sync();
}

void FolderDialog::sync() {
    if (form_.ModalResult == TModalResult::OK) {
        if (tree_->currentIndex().isValid()) form_.SelectedPath = model_->filePath(tree_->currentIndex()).toStdString();
        accept();
    } else if (form_.ModalResult == TModalResult::Cancel) {
        QDialog::reject();
    }
}

}  // namespace quorvane::gui
