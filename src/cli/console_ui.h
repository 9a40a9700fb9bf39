#pragma once
// The command line's side of the windows: warnings on standard error, Ctrl-C as Cancel, and
// a live progress line on a terminal.
#include "app/ui.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace quorvane {
class RecoveryRun;
}

namespace quorvane::cli {

class ConsoleUI : public UserInterface {
public:
    ConsoleUI();
    ~ConsoleUI() override;

    void ProcessMessages() override;
    MsgResult MessageBox(const std::string& text, const std::string& caption, MsgIcon icon, MsgButtons buttons,
                         MsgResult defaultResult) override;

    // Called once when Ctrl-C is pressed; a second Ctrl-C ends the program at once with 130,
    // after the note below.
    std::function<void()> onInterrupt;
    bool Interrupted() const;

    // What a second Ctrl-C says on standard error before the program ends: it removes folder when
    // that is empty and then says whenEmpty, else whenNot. Nothing is said before the first note.
    static void SetQuitNote(const std::string& folder, const std::string& whenEmpty, const std::string& whenNot);
};

// Shows position, throughput, files found, read errors and time left while a run goes on,
// on one line of standard error that is rewritten in place. It follows the run's events.
// Nothing when stderr is no terminal.
class ProgressLine {
public:
    // bytesPerUnit 0: the progress units have no fixed size (the folder based method).
    ProgressLine(RecoveryRun& run, std::uint32_t bytesPerUnit, const char* unitName);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    void Finish();
    // The progress units from here on (the combined run's scan counts sectors).
    void SetUnit(std::uint32_t bytesPerUnit, const char* unitName) {
        bytesPerUnit_ = bytesPerUnit;
        unitName_ = unitName;
    }

private:
    void changed();
    void draw();
    // Draws what came since the last drawing, if anything did.
    void flush();

    RecoveryRun& run_;
    std::uint32_t bytesPerUnit_;
    const char* unitName_;
    bool enabled_;
    bool drawn_ = false;
    bool pending_ = false;  // something changed since the line was drawn
    // What the run told last; no current number between runs.
    std::int64_t position_ = 0;
    std::int64_t max_ = 100;
    std::string current_;
    std::string files_;
    std::string readErrors_;
    int whole_ = 0;
    int damaged_ = 0;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point lastDrawn_;
};

}  // namespace quorvane::cli
