#pragma once
// The user-visible texts of the recovery windows, fetched by number.
#include <string>

namespace quorvane {

enum MessageIndex : int {
    msgRemovable = 1,
    msgReady = 6,
    msgNotReady = 7,
    msgBusy = 8,
    msgCannotFormatFixed = 9,
    msgCannotFormatRemote = 10,
    msgCannotFormatCdrom = 11,
    msgCannotWipeFixed = 12,
    msgCannotWipeRemote = 13,
    msgCannotWipeCdrom = 14,
    msgDoYouWantToWipe = 15,
    msgDoYouWantToFormat = 16,
    msgCurrentCluster = 18,
    msgCurrentSector = 19,
    msgSaveImages = 20,
    msgOK = 21,
    msgAbout = 22,
    msgVersion = 23,
    msgUnknown = 28,
    msgFound = 30,
    msgAnalyzingDrive = 31,
    msgDeletedFolders = 32,
    msgDeletedFiles = 33,
};

// The text of message i; "" for numbers outside the list.
const std::string& ListBoxStrings(int i);

}  // namespace quorvane
