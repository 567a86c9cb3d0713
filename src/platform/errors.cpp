#include "platform/errors.h"

#include <cstring>

namespace zelfin {

std::string SystemReason(int errnum) {
  char buf[256];
  // The GNU strerror_r returns the message, which may not be buf.
  const char* text = strerror_r(errnum, buf, sizeof buf);
  std::string reason = text ? text : "Unknown error";
  if (!reason.empty() && reason.back() != '.') reason += '.';
  return reason;
}

void RaiseOpenError(const std::string& path, const std::string& reason) {
  throw ZelfinError("Cannot open file \"" + path + "\". " + reason);
}

void RaiseCreateError(const std::string& path, const std::string& reason) {
  throw ZelfinError("Cannot create file \"" + path + "\". " + reason);
}

}  // namespace zelfin
