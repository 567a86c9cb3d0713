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

// ParseInteger for numbers of more than 18 digits, which may leave int64_t.
bool ParseLongInteger(std::string_view s, int64_t& value);

// Reads s whole as a decimal integer with an optional "+" or "-" sign. Returns
// false (value untouched) when s is not such a number. A number beyond the
// range of int64_t saturates to its bound and still counts as a number.
// Inline, for the face corners of the division's hot loop.
inline bool ParseInteger(std::string_view s, int64_t& value) {
  const size_t n = s.size();
  size_t i = 0;
  const bool negative = n > 0 && s[0] == '-';
  if (n > 0 && (s[0] == '+' || s[0] == '-')) i = 1;
  if (i == n) return false;
  // Eighteen digits always fit; longer numbers take the careful road.
  if (n - i > 18) return ParseLongInteger(s, value);
  uint64_t acc = 0;
  for (; i < n; ++i) {
    const unsigned digit = static_cast<unsigned char>(s[i]) - unsigned{'0'};
    if (digit > 9) return false;
    acc = acc * 10 + digit;
  }
  value = negative ? -static_cast<int64_t>(acc) : static_cast<int64_t>(acc);
  return true;
}

// x in fixed notation with exactly eight decimals, as printf's "%1.8f" writes
// it in the C locale: the exact value rounded half to even, a minus sign for
// a negative value (also when it rounds to zero). Writes at most 400 bytes at
// out and returns the end.
char* FormatFixed8(char* out, double x);

enum class CoordinateRead { kNumber, kNotANumber, kOverflow };

// A decimal number with "." whatever the locale: sign? (digits ("." digits?)? |
// "." digits) ([eE] sign? digits)?. Anything else reads as 0 (kNotANumber);
// a magnitude beyond the range of a double is kOverflow (value 0); a value
// too small for a double reads as what from_chars makes of it, or 0.
CoordinateRead ReadCoordinate(std::string_view token, double& value);

}  // namespace zelfin
