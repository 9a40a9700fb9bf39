#pragma once
// Where the main window keeps its options between sessions: values under the program's key,
// grouped by subkey. The Qt front end keeps them with QSettings; without a store the window
// keeps its built-in defaults and remembers nothing.
#include <string>

namespace quorvane {

inline constexpr const char* SettingsKey = "Software\\Quorvane2";
inline constexpr const char* SettingsOptions = "Options";

class TSettingsStore {
public:
    virtual ~TSettingsStore() = default;
    // The value, or defaultValue when the subkey or the value is missing.
    virtual std::string ReadString(const std::string& subkey, const std::string& name, const std::string& defaultValue) = 0;
    // Writes the value as text, making the subkey when it is missing.
    virtual void WriteString(const std::string& subkey, const std::string& name, const std::string& value) = 0;
};

}  // namespace quorvane
