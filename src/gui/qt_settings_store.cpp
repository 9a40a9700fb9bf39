#include "gui/qt_settings_store.h"

namespace quorvane::gui {

QtSettingsStore::QtSettingsStore() : settings_(QSettings::NativeFormat, QSettings::UserScope, "Quorvane2") {}

std::string QtSettingsStore::ReadString(const std::string& subkey, const std::string& name, const std::string& defaultValue) {
    settings_.sync();
    const QString key = QString::fromStdString(subkey + "/" + name);
    if (!settings_.contains(key)) return defaultValue;
    return settings_.value(key).toString().toStdString();
}

void QtSettingsStore::WriteString(const std::string& subkey, const std::string& name, const std::string& value) {
    settings_.setValue(QString::fromStdString(subkey + "/" + name), QString::fromStdString(value));
    settings_.sync();
}

}  // namespace quorvane::gui
