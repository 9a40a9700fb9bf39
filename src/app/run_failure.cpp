#include "app/run_failure.h"

#include <new>

namespace quorvane {
namespace {

constexpr const char* RunErrorLead = "The recovery stopped: ";

}  // namespace

std::string NotReadyText(const std::string& driveName) {
    return driveName + " is not ready: its size and sector size cannot be read";
}

std::string NoSectorsText(const std::string& driveName) { return driveName + " has no sectors"; }

std::string MediumRemovedText(const std::string& driveName) {
    return "The card in " + driveName + " was taken out during the run, so the run ended there. The files found "
           "before are kept.";
}

std::string NotMountedText(const std::string& driveName) {
    return "The file system of " + driveName + " cannot be mounted; the scan method can still recover its pictures.";
}

std::string RunErrorText(std::exception_ptr error) {
    std::string what = "an unexpected error";
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        what = "out of memory";
    } catch (const std::exception& e) {
        if (*e.what() != '\0') what = e.what();
    } catch (...) {
    }
    return RunErrorLead + what;
}

bool IsRunErrorText(const std::string& text) { return text.rfind(RunErrorLead, 0) == 0; }

}  // namespace quorvane
