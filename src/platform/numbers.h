#pragma once
// Numbers in and out, independent of the user's locale (never strtod, printf
// or streams: the window toolkit sets LC_NUMERIC from the desktop).
#include <cmath>
#include <cstdint>
#include <string_view>

namespace zelfin {

// Nearest integer, halves to the even neighbour (0.5 -> 0, 1.5 -> 2, 2.5 -> 2).
inline int64_t RoundHalfEven(double x) {
  return static_cast<int64_t>(std::nearbyint(x));
}

// Reads s whole as a decimal integer with an optional "+" or "-" sign. Returns
// false (value untouched) when s is not such a number. A number beyond the
// range of int64_t saturates to its bound and still counts as a number.
bool ParseInteger(std::string_view s, int64_t& value);

}  // namespace zelfin
