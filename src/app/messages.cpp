#include "app/messages.h"

#include <array>

namespace quorvane {
namespace {

const std::array<std::string, 41> texts = {
    "",                              // 0
    "Removable",                     // 1
    "Fixed",                         // 2
    "Remote",                        // 3
    "CD-ROM",                        // 4
    "RAMdisk",                       // 5
    "Ready",                         // 6
    "Not Ready",                     // 7
    "Busy",                          // 8
    "Can not format fixed drive.",   // 9
    "Can not format remote drive.",  // 10
    "Can not format cd-rom.",        // 11
    "Cannot wipe fixed drive.",      // 12
    "Cannot wipe remote drive.",     // 13
    "Cannot wipe cd-rom.",           // 14
    "Do you want to wipe",           // 15
    "Do you want to format",         // 16
    "",                              // 17
    "Current clustor:",              // 18
    "Current sector:",               // 19
    "Save Images",                   // 20
    "OK",                            // 21
    "About ",                        // 22
    "Version ",                      // 23
    "", "", "", "",                  // 24-27
    "Unknown",                       // 28
    "",                              // 29
    "Found ",                        // 30
    "Analyzing Drive ",              // 31
    " deleted folders",              // 32
    " deleted files",                // 33
    "Cancel",                        // 34
    "Information",                   // 35
    "Warning",                       // 36
    "Confirmation",                  // 37
    "", "", "",                      // 38-40
};

}  // namespace

const std::string& ListBoxStrings(int i) {
    static const std::string none;
    if (i < 0 || i >= static_cast<int>(texts.size())) return none;
    return texts[static_cast<std::size_t>(i)];
}

}  // namespace quorvane
