#pragma once
// File contents built from lines, as the readers of OBJ and settings files meet them.
#include <initializer_list>
#include <string>
#include <string_view>

namespace zelfin::test {

// Every line followed by end (CR LF unless told otherwise).
inline std::string Joined(std::initializer_list<std::string_view> lines,
                          std::string_view end = "\r\n") {
  std::string text;
  for (const std::string_view line : lines) {
    text.append(line);
    text.append(end);
  }
  return text;
}

}  // namespace zelfin::test
