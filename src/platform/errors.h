#pragma once
// Errors carry the text the user reads; every way in (CLI, window, drop) catches
// them at its top and shows what() unchanged.
#include <stdexcept>
#include <string>

namespace zelfin {

class ZelfinError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The operating system's words for an errno value ("No such file or directory").
std::string SystemReason(int errnum);

// "Cannot open file "<path>". <reason>"
[[noreturn]] void RaiseOpenError(const std::string& path, const std::string& reason);
// "Cannot create file "<path>". <reason>"
[[noreturn]] void RaiseCreateError(const std::string& path, const std::string& reason);

}  // namespace zelfin
