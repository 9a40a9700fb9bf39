#include "gui/about_box.h"

#include "gui/control_binding.h"
#include "update/frm_about.h"

#include <QLabel>
#include <QPushButton>

namespace quorvane::gui {
namespace {

constexpr int boxWidth = 320;
constexpr int boxHeight = 150;

QLabel* plainLabel(QWidget* parent, const std::string& name, int x, int y, int w, int h) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromStdString(name));
    label->setGeometry(x, y, w, h);
    // The texts come from a file's resource: they are shown as written, never as markup.
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

AboutBox::AboutBox(TFrmAbout& form, QWidget* parent) : QDialog(parent), form_(form) {
    setObjectName("FrmAbout");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(boxWidth, boxHeight);

    auto* title = plainLabel(this, form_.LabelTitle.Name, 16, 12, boxWidth - 32, 28);
    QFont titleFont(TFrmAbout::TitleFontName);
    titleFont.setStyleHint(QFont::SansSerif);
    titleFont.setPixelSize(TFrmAbout::TitleFontPixels);
    titleFont.setBold(TFrmAbout::TitleBold);
    title->setFont(titleFont);
    bindLabel(form_.LabelTitle, title);
    bindLabel(form_.LabelVersion, plainLabel(this, form_.LabelVersion.Name, 16, 46, boxWidth - 32, 18));
    auto* legal = plainLabel(this, form_.LabelLegal.Name, 16, 66, boxWidth - 32, 34);
    legal->setWordWrap(true);
    legal->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    bindLabel(form_.LabelLegal, legal);

    auto* getUpdates = new QPushButton(this);
    getUpdates->setObjectName(QString::fromStdString(form_.ButtonGetUpdates.Name));
    getUpdates->setGeometry(16, boxHeight - 40, 110, 28);
    bindButton(form_.ButtonGetUpdates, getUpdates, [this] { form_.ButtonGetUpdatesClick(); });
    auto* ok = new QPushButton(this);
    ok->setObjectName(QString::fromStdString(form_.ButtonOK.Name));
    ok->setGeometry(boxWidth - 106, boxHeight - 40, 90, 28);
    ok->setDefault(true);
    bindButton(form_.ButtonOK, ok, [this] { form_.ButtonOKClick(); });

    form_.OnClose = [this] {
        accept();
        if (QWidget* main = parentWidget()) {
            main->show();
            main->activateWindow();
        }
    };
}

AboutBox::~AboutBox() {
    // The form lives as long as the program; this view may not.
    for (TControl* c : std::initializer_list<TControl*>{&form_.LabelTitle, &form_.LabelVersion, &form_.LabelLegal,
                                                        &form_.ButtonGetUpdates, &form_.ButtonOK}) {
        c->onChanged = nullptr;
    }
    form_.OnClose = nullptr;
}

void AboutBox::showEvent(QShowEvent* event) {
    form_.FormShow();
    setWindowTitle(QString::fromStdString(form_.Caption));
    QDialog::showEvent(event);
}

}  // namespace quorvane::gui
