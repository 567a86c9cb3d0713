#include "platform/numbers.h"

#include <limits>

namespace zelfin {

bool ParseInteger(std::string_view s, int64_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return false;
  // Accumulate as a negative number, whose range is the larger one.
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  int64_t acc = 0;
  bool saturated = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c < '0' || c > '9') return false;
    const int digit = c - '0';
    if (!saturated) {
      if (acc < (kMin + digit) / 10) {
        saturated = true;
      } else {
        acc = acc * 10 - digit;
      }
    }
  }
  if (saturated) {
    value = negative ? kMin : std::numeric_limits<int64_t>::max();
  } else if (negative) {
    value = acc;
  } else {
    value = acc == kMin ? std::numeric_limits<int64_t>::max() : -acc;
  }
  return true;
}

}  // namespace zelfin
