#include "cli/console_ui.h"

#include "app/recovery_run.h"
#include "support/terminal_text.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace quorvane::cli {
namespace {

std::atomic<bool> interruptPending{false};
std::atomic<bool> interrupted{false};

struct QuitNote {
    std::string folder;
    std::string whenEmpty;
    std::string whenNot;
};
// Two notes, so that the handler never reads the one being written: the handler runs on the
// thread it interrupts, which cannot write meanwhile.
QuitNote quitNotes[2];
std::atomic<const QuitNote*> quitNote{nullptr};

void writeAll(const char* text, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(STDERR_FILENO, text + done, size - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// Only async-signal-safe calls: rmdir, write, _exit.
extern "C" void onSigint(int) {
    if (interrupted.exchange(true)) {
        if (const QuitNote* note = quitNote.load()) {
            const bool emptied = !note->folder.empty() && ::rmdir(note->folder.c_str()) == 0;
            const std::string& text = emptied ? note->whenEmpty : note->whenNot;
            writeAll("\n", 1);  // past the progress line
            writeAll(text.data(), text.size());
        }
        ::_exit(130);
    }
    interruptPending = true;
}

}  // namespace

void ConsoleUI::SetQuitNote(const std::string& folder, const std::string& whenEmpty, const std::string& whenNot) {
    QuitNote& spare = quitNote.load() == &quitNotes[0] ? quitNotes[1] : quitNotes[0];
    spare = {folder, whenEmpty + "\n", whenNot + "\n"};
    quitNote.store(&spare);
}

ConsoleUI::ConsoleUI() {
    std::signal(SIGINT, onSigint);
    SetUI(this);
}

ConsoleUI::~ConsoleUI() {
    SetUI(nullptr);
    std::signal(SIGINT, SIG_DFL);
}

bool ConsoleUI::Interrupted() const { return interrupted; }

void ConsoleUI::ProcessMessages() {
    if (interruptPending.exchange(false) && onInterrupt) {
        std::fputs("\nStopping: the files found so far will be saved. Press Ctrl-C again to quit at once.\n", stderr);
        onInterrupt();
    }
}

MsgResult ConsoleUI::MessageBox(const std::string& text, const std::string& caption, MsgIcon icon, MsgButtons,
                                MsgResult defaultResult) {
    const char* kind = icon == MsgIcon::Error ? "error" : icon == MsgIcon::Information ? "note" : "warning";
    if (!caption.empty() && caption != "Error" && caption != "Information") {
        std::fprintf(stderr, "\n%s: %s: %s\n", kind, EscapeForTerminal(caption).c_str(),
                     EscapeForTerminal(text, true).c_str());
    } else {
        std::fprintf(stderr, "\n%s: %s\n", kind, EscapeForTerminal(text, true).c_str());
    }
    return defaultResult;
}

ProgressLine::ProgressLine(RecoveryRun& run, std::uint32_t bytesPerUnit, const char* unitName)
    : run_(run),
      bytesPerUnit_(bytesPerUnit),
      unitName_(unitName),
      enabled_(::isatty(STDERR_FILENO) != 0),
      started_(std::chrono::steady_clock::now()) {
    if (!enabled_) return;
    auto& events = run_.Events;
    events.OnPhase = [this](TRunPhase phase, TProgressUnit) {
        // A phase ends with its last position: the line shows it even when it came too soon after
        // the previous drawing (otherwise a run could end the line at 89 %).
        if (phase != TRunPhase::Running) flush();
        if (phase == TRunPhase::Running) {
            files_ = "0";
            readErrors_ = "0";
            whole_ = damaged_ = 0;
        } else if (phase == TRunPhase::Finished) {
            current_.clear();
        }
    };
    events.OnFileChecked = [this](std::size_t, TFileCondition condition) {
        if (condition == TFileCondition::Whole) ++whole_;
        if (condition == TFileCondition::Damaged) ++damaged_;
        changed();
    };
    events.OnProgressRange = [this](std::int64_t max) {
        max_ = max;
        changed();
    };
    events.OnProgress = [this](std::int64_t position) {
        position_ = position;
        changed();
    };
    events.OnCurrent = [this](std::int64_t current) {
        current_ = std::to_string(current);
        changed();
    };
    events.OnFilesFound = [this](std::int32_t files) {
        files_ = std::to_string(files);
        changed();
    };
    events.OnReadErrors = [this](std::int32_t errors) {
        readErrors_ = std::to_string(errors);
        changed();
    };
}

ProgressLine::~ProgressLine() { Finish(); }

void ProgressLine::Finish() {
    auto& events = run_.Events;
    events.OnPhase = nullptr;
    events.OnProgressRange = nullptr;
    events.OnProgress = nullptr;
    events.OnCurrent = nullptr;
    events.OnFilesFound = nullptr;
    events.OnReadErrors = nullptr;
    events.OnFileChecked = nullptr;
    flush();
    if (drawn_) std::fputs("\n", stderr);
    drawn_ = false;
}

void ProgressLine::changed() {
    if (current_.empty()) return;  // between runs
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDrawn_ < std::chrono::milliseconds(200)) {
        pending_ = true;
        return;
    }
    lastDrawn_ = now;
    draw();
}

void ProgressLine::flush() {
    if (pending_ && !current_.empty()) draw();
    pending_ = false;
}

void ProgressLine::draw() {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const auto position = static_cast<double>(position_);
    const auto total = static_cast<double>(max_);
    std::string line = std::string("\r") + unitName_ + " " + current_;
    char part[160];
    if (total > 0 && position > 0) {
        std::snprintf(part, sizeof part, " (%3.0f%%)", 100.0 * position / total);
        line += part;
        if (bytesPerUnit_ > 0 && seconds > 0) {
            std::snprintf(part, sizeof part, "  %.1f MB/s", position * bytesPerUnit_ / seconds / 1e6);
            line += part;
        }
    }
    line += "  files " + files_;
    if (whole_ + damaged_ > 0) line += " (" + std::to_string(whole_) + " whole, " + std::to_string(damaged_) + " damaged)";
    if (bytesPerUnit_ > 0) line += "  read errors " + readErrors_;
    if (total > 0 && position > 0 && total > position) {
        const auto eta = static_cast<long>(seconds * (total - position) / position + 0.5);
        std::snprintf(part, sizeof part, "  ETA %ld:%02ld", eta / 60, eta % 60);
        line += part;
    }
    line += "   ";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = true;
    pending_ = false;
}

}  // namespace quorvane::cli
