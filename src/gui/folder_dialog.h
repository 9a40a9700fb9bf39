#pragma once
// The folder chooser: the file system's folders in a tree, "New Folder" with in-place naming.
#include <QDialog>

class QFileSystemModel;
class QTreeView;

namespace quorvane {
class TFrmSelectFolderDialog;
}

namespace quorvane::gui {

class FolderDialog : public QDialog {
    Q_OBJECT
public:
    FolderDialog(TFrmSelectFolderDialog& form, QWidget* parent);
    ~FolderDialog() override;

    // Selects a folder in the tree, expanding the tree down to it.
    void SelectPath(const QString& path);

protected:
    void reject() override;

private:
    void sync();
    // A name typed in place reaches the model only once the event loop runs again after
    // Return; OK takes it at once, so the folder chosen is the renamed one.
    void commitTypedName();

    TFrmSelectFolderDialog& form_;
    QFileSystemModel* model_ = nullptr;
    QTreeView* tree_ = nullptr;
    QString pending_;
};

}  // namespace quorvane::gui
