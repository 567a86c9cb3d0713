#pragma once
// Errors carry the text the user reads; every way in (CLI, window, drop) catches
// them at its top and shows what() unchanged.
#include <stdexcept>
#include <string>
#include <string_view>

namespace zelfin {

// What every way in shows when memory ran out (std::bad_alloc).
inline constexpr const char* kOutOfMemoryText =
    "Out of memory. The file is too large to be processed here.";

class ZelfinError : public std::runtime_error {
 public:
  // what() is read as a C string: a NUL from a name or path in the text would
  // cut the message short, so each one reads as U+FFFD instead.
  explicit ZelfinError(const std::string& message);
  explicit ZelfinError(const char* message) : ZelfinError(std::string(message)) {}
};

// A piece of input (a path, a name, a token) as a message shows it: a piece
// longer than any path the system takes is cut after its first kilobyte and
// marked with "...", so that a name of megabytes cannot swamp the window that
// shows the message.
std::string ForMessage(std::string_view piece);

// The piece as ForMessage shows it, between double quotes: how a message
// quotes a path or a name.
std::string Quoted(std::string_view piece);

// The operating system's words for an errno value ("No such file or directory").
std::string SystemReason(int errnum);

// "Cannot open file "<path>". <reason>"
[[noreturn]] void RaiseOpenError(const std::string& path, const std::string& reason);
// "Cannot create file "<path>". <reason>"
[[noreturn]] void RaiseCreateError(const std::string& path, const std::string& reason);

}  // namespace zelfin
