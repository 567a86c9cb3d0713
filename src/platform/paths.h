#pragma once
// Path pieces. The separator is "/".
#include <string>
#include <string_view>

namespace zelfin {

// The text from the last "." to the end, provided no "/" stands after that
// dot; otherwise empty. "a/b.c/d" has no extension; "x.obj" gives ".obj".
std::string_view ExtractFileExt(std::string_view path);

// Everything up to and including the last "/"; empty when there is none.
std::string_view ExtractFilePath(std::string_view path);

// The part after the last "/".
std::string_view ExtractFileName(std::string_view path);

// The file name without its last extension: "dir/a.b.obj" gives "a.b".
std::string_view BaseName(std::string_view path);

// True when the extension is ".OBJ" in any letter case.
bool HasObjExtension(std::string_view path);

// True when path names an existing folder.
bool DirectoryExists(const std::string& path);

// A name that may stand inside a single file name: no "/" and no NUL, and not
// "." or "..". Names from input files are checked with this before they reach
// the file system.
bool IsSafeFileNamePiece(std::string_view name);

// $HOME when it is an absolute path, else the home folder of the user's
// account; empty when neither is known.
std::string HomeFolder();

// $XDG_CONFIG_HOME when it is an absolute path, else HomeFolder() + "/.config",
// without a trailing "/"; empty when neither is known.
std::string UserConfigFolder();

// The reason given when a name fails IsSafeFileNamePiece.
inline constexpr const char* kUnsafeNameReason =
    "The name holds a character that a file name cannot hold.";

}  // namespace zelfin
