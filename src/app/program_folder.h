#pragma once
// The program's own folder and the default destination of recovered files.
#include <string>

namespace quorvane {

// The folder of the running program, ending in '/'.
std::string ProgramFolder();
// Tests and front ends that install elsewhere point the program's folder somewhere else.
void SetProgramFolder(const std::string& folder);

// The folder of the help pages, ending in '/': "help/" in the program's folder (a build tree, a
// program updated in place), else the installed data folder (/usr/share/quorvane/help/).
std::string HelpFolder();

// The user's pictures folder: XDG_PICTURES_DIR of user-dirs.dirs, else ~/Pictures. No '/' at the end.
std::string UserPicturesFolder();

bool IsFolder(const std::string& path);

// Makes sure recovered files can be saved into folder: it is named, and is a folder afterwards
// (made with its parents when missing). Otherwise false, with why in error.
bool MakeDestinationFolder(const std::string& folder, std::string& error);

// "Recovered" in the program's folder when that folder is writable, else in the user's pictures
// folder; created when missing. When it cannot be created, the program's folder itself.
std::string DefaultDestinationFolder();

}  // namespace quorvane
