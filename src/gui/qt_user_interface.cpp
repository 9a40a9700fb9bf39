#include "gui/qt_user_interface.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>

namespace quorvane::gui {
namespace {

QMessageBox::StandardButton buttonOf(MsgResult r) {
    switch (r) {
        case MsgResult::Yes: return QMessageBox::Yes;
        case MsgResult::No: return QMessageBox::No;
        case MsgResult::Cancel: return QMessageBox::Cancel;
        case MsgResult::Ok: break;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon iconOf(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information: return QMessageBox::Information;
        case MsgIcon::Warning:
        case MsgIcon::Exclamation: return QMessageBox::Warning;
        case MsgIcon::Error: return QMessageBox::Critical;
        case MsgIcon::Question: return QMessageBox::Question;
        case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

std::function<MsgResult(const std::string&, MsgIcon, MsgButtons)> QtUserInterface::DefaultAnswer;

QtUserInterface::QtUserInterface() { SetUI(this); }

QtUserInterface::~QtUserInterface() {
    while (busy_ > 0) SetBusyCursor(false);
    SetUI(nullptr);
}

// One pass over the events pending now. A time-boxed pass would keep dispatching for its whole
// box while a timer or an animation keeps posting, and a run pumps fifty times a second.
void QtUserInterface::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

MsgResult QtUserInterface::MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                                      MsgButtons buttons, MsgResult defaultResult) {
    if (Answer) return Answer(text, icon, buttons);
    if (DefaultAnswer) return DefaultAnswer(text, icon, buttons);
    QMessageBox::StandardButtons shown = QMessageBox::Ok;
    if (buttons == MsgButtons::YesNo) shown = QMessageBox::Yes | QMessageBox::No;
    if (buttons == MsgButtons::OkCancel) shown = QMessageBox::Ok | QMessageBox::Cancel;
    QMessageBox box(iconOf(icon), QString::fromStdString(caption), QString::fromStdString(text), shown, Parent);
    // Texts can come from a card or an update server: shown as written, never as markup or links.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(buttonOf(defaultResult));
    // A box asked for during a run shows the normal pointer while it waits.
    const int busy = busy_;
    while (busy_ > 0) SetBusyCursor(false);
    const int pressed = box.exec();
    while (busy_ < busy) SetBusyCursor(true);
    switch (pressed) {
        case QMessageBox::Yes: return MsgResult::Yes;
        case QMessageBox::No: return MsgResult::No;
        case QMessageBox::Cancel: return MsgResult::Cancel;
        case QMessageBox::Ok: return MsgResult::Ok;
        default: return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Cancel;
    }
}

void QtUserInterface::SetBusyCursor(bool busy) {
    if (busy) {
        ++busy_;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (busy_ > 0) {
        --busy_;
        QApplication::restoreOverrideCursor();
    }
}

}  // namespace quorvane::gui
