#include "cli/console_ui.h"

#include "app/frm_main.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace quorvane::cli {
namespace {

std::atomic<bool> interruptPending{false};
std::atomic<bool> interrupted{false};

extern "C" void onSigint(int) {
    interruptPending = true;
    interrupted = true;
    std::signal(SIGINT, SIG_DFL);  // a second Ctrl-C ends the program
}

}  // namespace

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
        std::fprintf(stderr, "\n%s: %s: %s\n", kind, caption.c_str(), text.c_str());
    } else {
        std::fprintf(stderr, "\n%s: %s\n", kind, text.c_str());
    }
    return defaultResult;
}

ProgressLine::ProgressLine(TFrmMain& main, std::uint32_t totalUnits, std::uint32_t bytesPerUnit, const char* unitName)
    : main_(main),
      total_(totalUnits),
      bytesPerUnit_(bytesPerUnit),
      unitName_(unitName),
      enabled_(::isatty(STDERR_FILENO) != 0),
      started_(std::chrono::steady_clock::now()) {
    if (!enabled_) return;
    // The window updates its position twice a second; the line follows it.
    main_.GProgress.onChanged = [this](const TControl&) {
        if (main_.GProgress.Position() > 0) draw(static_cast<std::uint64_t>(main_.GProgress.Position()));
    };
}

ProgressLine::~ProgressLine() { Finish(); }

void ProgressLine::Finish() {
    main_.GProgress.onChanged = nullptr;
    if (drawn_) std::fputs("\n", stderr);
    drawn_ = false;
}

void ProgressLine::draw(std::uint64_t position) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const double bytes = static_cast<double>(position) * bytesPerUnit_;
    const double rate = seconds > 0 ? bytes / seconds / 1e6 : 0;
    const double left = position > 0 && total_ > position ? seconds * static_cast<double>(total_ - position) / position : 0;
    const auto eta = static_cast<long>(left + 0.5);
    std::fprintf(stderr, "\r%s %llu/%u (%3.0f%%)  %.1f MB/s  files %s  read errors %s  ETA %ld:%02ld   ", unitName_,
                 static_cast<unsigned long long>(position), total_, total_ ? 100.0 * position / total_ : 0.0, rate,
                 main_.LabelInfoImagesFound.Caption().c_str(), main_.LabelInfoReadErrors.Caption().c_str(), eta / 60,
                 eta % 60);
    std::fflush(stderr);
    drawn_ = true;
}

}  // namespace quorvane::cli
