#pragma once
// The folder prefixes that paths of the update control file may start with, and the turn of
// their Windows-style paths into local ones.
//   {APP}  the program's folder (the folder of the running executable), which the About box
//          also makes the current directory before it starts the update wizard
//   {TMP}  the user's temporary folder ($TMPDIR, else /tmp)
//   {WIN}  the folder for the user's settings files ($XDG_CONFIG_HOME, else ~/.config), which
//          is where a Windows program kept the files it put in the Windows folder
//   {PF}   the folder that holds the program's own installation folder (the parent of the
//          folder of the running executable), as "Program Files" holds "Program Files\Quorvane"
#include <string>
#include <string_view>

namespace quorvane {

struct TPathPrefixes {
    std::string win;
    std::string app;
    std::string tmp;
    std::string pf;
};

// The folders above for this process, now.
TPathPrefixes CurrentPathPrefixes();

// The folder that replaces {name} (name compared in upper case), in the form ExpandPath splices
// in: without a trailing separator, except that the root folder is "/." so that "{X}\a" still
// gives "/./a". A name that is not a known prefix gives "{name}" unchanged.
std::string ConvertPrefix(std::string_view name, const TPathPrefixes& prefixes);

// Replaces every {NAME} of path with its folder. The rest of the path is left as written.
std::string ExpandPath(std::string_view path, const TPathPrefixes& prefixes);

// A control file path as a local path: backslashes become slashes and "C:\" (the drive letter
// of the root file system) becomes "/". A path on any other drive letter has no local meaning
// and gives "".
std::string LocalPath(std::string_view windowsPath);

// A control file command line made local: split into arguments first, so that a folder with
// blanks put in for a {NAME} stays inside its argument; then every argument expanded, the
// program (the first one) made local with LocalPath, and arguments that hold blanks enclosed
// in double quotes again.
std::string LocalCommandLine(std::string_view commandLine, const TPathPrefixes& prefixes);

}  // namespace quorvane
