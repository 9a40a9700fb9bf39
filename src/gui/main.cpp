// quorvane: the desktop program. Images and devices named on the command line join the drive box.
#include "app/ui.h"
#include "gui/desktop_app.h"

#include <QApplication>
#include <QMessageBox>
#include <clocale>
#include <exception>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorvane");
    QApplication::setApplicationDisplayName("Quorvane");
    QApplication::setApplicationVersion(QUORVANE_VERSION);
    std::setlocale(LC_NUMERIC, "C");
    try {
        QStringList images = QApplication::arguments().mid(1);
        images.removeIf([](const QString& a) { return a.startsWith('-'); });
        quorvane::gui::DesktopApp desktop(images);
        desktop.Window->show();
        return QApplication::exec();
    } catch (const std::exception& e) {
        // The reason may quote a path or a label from the card: plain text.
        QMessageBox box(QMessageBox::Critical, "Quorvane", QString::fromLocal8Bit(e.what()));
        box.setTextFormat(Qt::PlainText);
        box.exec();
    } catch (...) {
        QMessageBox::critical(nullptr, "Quorvane", QString());
    }
    return 1;
}
