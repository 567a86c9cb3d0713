#pragma once
// Numbers in and out, independent of the user's locale (never strtod, printf
// or streams: the window toolkit sets LC_NUMERIC from the desktop).
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace zelfin {

// Nearest integer, halves to the even neighbour (0.5 -> 0, 1.5 -> 2, 2.5 -> 2).
inline int64_t RoundHalfEven(double x) {
  return static_cast<int64_t>(std::nearbyint(x));
}

// ParseInteger for numbers of more than 18 digits, which may leave int64_t.
bool ParseLongInteger(std::string_view s, int64_t& value);

inline constexpr uint64_t kPowersOfTen[9] = {1,      10,      100,      1000,     10000,
                                             100000, 1000000, 10000000, 100000000};

// How many of the eight bytes of word (the first in its lowest byte) are
// decimal digits before the first that is not, and their value.
inline int LeadingDigits(uint64_t word, uint64_t& value) {
  constexpr uint64_t kNibbles = 0xF0F0F0F0F0F0F0F0ull, kThrees = 0x3030303030303030ull;
  // A digit keeps its high nibble 3 when 6 is added; a carry out of a byte
  // that is no digit can only disturb the bytes after it.
  const uint64_t misfits =
      ((word ^ kThrees) | ((word + 0x0606060606060606ull) ^ kThrees)) & kNibbles;
  const int n = misfits == 0 ? 8 : std::countr_zero(misfits) / 8;
  if (n == 0) return 0;
  // The digits to the top, zeros below them; then pairs, fours and eights.
  uint64_t v = (word & 0x0F0F0F0F0F0F0F0Full) << (8 * (8 - n));
  v = (v * 2561) >> 8 & 0x00FF00FF00FF00FFull;
  v = (v * 6553601) >> 16 & 0x0000FFFF0000FFFFull;
  value = (v * 42949672960001ull) >> 32;
  return n;
}

// Reads the decimal integer with an optional "+" or "-" sign that starts at p
// and runs to the first byte that is not a digit (or to end). Returns where it
// stopped, with value set; returns p itself (value untouched) when no digit
// follows the sign. A number beyond the range of int64_t saturates to its
// bound. Inline: the face corners of the division's hot loops read with it,
// eight digits at a time where the byte order allows.
[[gnu::always_inline]] inline const char* ParseIntegerAt(const char* p, const char* end,
                                                         int64_t& value) {
  const char* q = p;
  const bool negative = q < end && *q == '-';
  if (q < end && (*q == '+' || *q == '-')) ++q;
  const char* const digits = q;
  uint64_t acc = 0;  // wraps past 19 digits: those take the careful road below
  if constexpr (std::endian::native == std::endian::little) {
    while (end - q >= 8) {
      uint64_t word, chunk = 0;
      std::memcpy(&word, q, 8);
      const int n = LeadingDigits(word, chunk);
      acc = acc * kPowersOfTen[n] + chunk;
      q += n;
      if (n < 8) break;
    }
  }
  for (; q < end; ++q) {  // the last few bytes of the text
    const unsigned digit = static_cast<unsigned char>(*q) - unsigned{'0'};
    if (digit > 9) break;
    acc = acc * 10 + digit;
  }
  if (q == digits) return p;
  // Eighteen digits always fit; longer numbers may leave int64_t.
  if (q - digits > 18) {
    ParseLongInteger(std::string_view(p, static_cast<size_t>(q - p)), value);
  } else {
    value = negative ? -static_cast<int64_t>(acc) : static_cast<int64_t>(acc);
  }
  return q;
}

// Reads s whole as a decimal integer with an optional "+" or "-" sign. Returns
// false (value untouched) when s is not such a number. A number beyond the
// range of int64_t saturates to its bound and still counts as a number.
inline bool ParseInteger(std::string_view s, int64_t& value) {
  const char* const end = s.data() + s.size();
  int64_t read = 0;
  const char* const stop = ParseIntegerAt(s.data(), end, read);
  if (stop == s.data() || stop != end) return false;
  value = read;
  return true;
}

// x in fixed notation with exactly eight decimals, as printf's "%1.8f" writes
// it in the C locale: the exact value rounded half to even, a minus sign for
// a negative value (also when it rounds to zero). Writes at most 400 bytes at
// out and returns the end.
char* FormatFixed8(char* out, double x);

// The most that a WrittenPrecision counts of either.
inline constexpr int kMostPrecision = 400;

// How precisely a number is written: the digits after its point ("." or ",")
// less its exponent, and its significant digits (leading zeros not counted);
// each from 0 to 400. "2.297" has 3 and 4, "1.5e-3" 4 and 2, "-120" 0 and 3.
struct WrittenPrecision {
  int decimals = 0;
  int digits = 0;
};
WrittenPrecision PrecisionOf(std::string_view token);

// x rounded to `decimals` decimals but to no more than `digits` significant
// digits (1 to 17), as printf's "%g" writes it at that precision: trailing
// zeros dropped, an exponent where "%g" takes one; "0" when nothing is left.
// Writes at most 32 bytes at out and returns the end.
char* FormatPrecise(char* out, double x, int decimals, int digits);

enum class CoordinateRead { kNumber, kNotANumber, kOverflow };

// A decimal number with "." whatever the locale: sign? (digits ("." digits?)? |
// "." digits) ([eE] sign? digits)?. Anything else reads as 0 (kNotANumber);
// a magnitude beyond the range of a double is kOverflow (value 0); a value
// too small for a double reads as what from_chars makes of it, or 0. With
// written, a number (kNumber) also says how precisely it is written, as
// PrecisionOf would: one pass over the token instead of two.
CoordinateRead ReadCoordinate(std::string_view token, double& value,
                              WrittenPrecision* written = nullptr);

}  // namespace zelfin
