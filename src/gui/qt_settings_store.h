#pragma once
// The main window's settings in QSettings, in the user's native settings place: on Linux
// ~/.config/Quorvane2.conf (the organisation "Quorvane2" stands for the key Software\Quorvane2),
// each subkey a group.
#include "app/settings.h"

#include <QSettings>

namespace quorvane::gui {

class QtSettingsStore : public TSettingsStore {
public:
    QtSettingsStore();
    std::string ReadString(const std::string& subkey, const std::string& name, const std::string& defaultValue) override;
    void WriteString(const std::string& subkey, const std::string& name, const std::string& value) override;

private:
    QSettings settings_;
};

}  // namespace quorvane::gui
