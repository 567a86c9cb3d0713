#include "platform/errors.h"

#include <cstring>

namespace zelfin {

namespace {

std::string WithoutNul(const std::string& message) {
  if (message.find('\0') == std::string::npos) return message;
  std::string out;
  for (const char c : message) {
    if (c == '\0') {
      out += "\xEF\xBF\xBD";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string ForMessage(std::string_view piece) {
  constexpr size_t kLongest = 4096, kShown = 1024;
  if (piece.size() <= kLongest) return std::string(piece);
  size_t cut = kShown;
  // Not inside a UTF-8 sequence.
  while (cut > 0 && (static_cast<unsigned char>(piece[cut]) & 0xC0) == 0x80) --cut;
  return std::string(piece.substr(0, cut)) + "...";
}

std::string Quoted(std::string_view piece) {
  return "\"" + ForMessage(piece) + "\"";
}

ZelfinError::ZelfinError(const std::string& message) : std::runtime_error(WithoutNul(message)) {}

std::string SystemReason(int errnum) {
  char buf[256];
  // The GNU strerror_r returns the message, which may not be buf.
  const char* text = strerror_r(errnum, buf, sizeof buf);
  std::string reason = text ? text : "Unknown error";
  if (!reason.empty() && reason.back() != '.') reason += '.';
  return reason;
}

void RaiseOpenError(const std::string& path, const std::string& reason) {
  throw ZelfinError("Cannot open file " + Quoted(path) + ". " + reason);
}

void RaiseCreateError(const std::string& path, const std::string& reason) {
  throw ZelfinError("Cannot create file " + Quoted(path) + ". " + reason);
}

}  // namespace zelfin
