#include "platform/numbers.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

namespace zelfin {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

bool ParseLongInteger(std::string_view s, int64_t& value) {
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

CoordinateRead ReadCoordinate(std::string_view t, double& value, WrittenPrecision* written) {
  value = 0;
  size_t i = 0;
  const size_t n = t.size();
  const bool negative = i < n && t[i] == '-';
  if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
  const size_t body = i;
  // Decimal exponent of the first significant digit, for telling an
  // overflow from an underflow when from_chars reports a range error.
  int64_t lead_exponent = 0;
  bool significant = false;
  size_t int_digits = 0;
  size_t frac_digits = 0;
  size_t significant_digits = 0;  // from the first that is not 0 on
  while (i < n && IsDigit(t[i])) {
    if (significant) {
      ++lead_exponent;
    } else if (t[i] != '0') {
      significant = true;
    }
    significant_digits += significant ? 1 : 0;
    ++i;
    ++int_digits;
  }
  if (i < n && t[i] == '.') {
    ++i;
    while (i < n && IsDigit(t[i])) {
      if (!significant) {
        --lead_exponent;
        if (t[i] != '0') significant = true;
      }
      significant_digits += significant ? 1 : 0;
      ++i;
      ++frac_digits;
    }
  }
  if (int_digits + frac_digits == 0) return CoordinateRead::kNotANumber;
  int64_t exponent = 0;
  if (i < n && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool exp_negative = false;
    if (i < n && (t[i] == '+' || t[i] == '-')) exp_negative = t[i++] == '-';
    size_t exp_digits = 0;
    while (i < n && IsDigit(t[i])) {
      if (exponent < 100000000) exponent = exponent * 10 + (t[i] - '0');
      ++i;
      ++exp_digits;
    }
    if (exp_digits == 0) return CoordinateRead::kNotANumber;
    if (exp_negative) exponent = -exponent;
  }
  if (i != n) return CoordinateRead::kNotANumber;
  double v = 0;
  const auto r = std::from_chars(t.data() + body, t.data() + n, v, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    if (significant && lead_exponent + exponent > 0) return CoordinateRead::kOverflow;
    v = 0;  // too small for a double
  } else if (r.ec != std::errc() || r.ptr != t.data() + n || !std::isfinite(v)) {
    return CoordinateRead::kOverflow;
  }
  value = negative ? -v : v;
  if (written != nullptr) {
    constexpr int64_t kMost = kMostPrecision;
    written->digits = static_cast<int>(std::min<size_t>(significant_digits, kMost));
    const int64_t fraction = static_cast<int64_t>(std::min<size_t>(frac_digits, kMost));
    // The exponent needs no bound of its own: the fraction's is enough.
    written->decimals = static_cast<int>(std::clamp(fraction - exponent, int64_t{0}, kMost));
  }
  return CoordinateRead::kNumber;
}

WrittenPrecision PrecisionOf(std::string_view t) {
  constexpr int kMost = kMostPrecision;
  WrittenPrecision p;
  size_t i = t.size() > 0 && (t[0] == '+' || t[0] == '-') ? 1 : 0;
  bool point = false, significant = false;
  int fraction = 0;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (IsDigit(c)) {
      significant = significant || c != '0';
      if (significant && p.digits < kMost) ++p.digits;
      if (point && fraction < kMost) ++fraction;
    } else if ((c == '.' || c == ',') && !point) {
      point = true;
    } else {
      break;
    }
  }
  int exponent = 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    int64_t e = 0;
    if (ParseInteger(t.substr(i + 1), e)) {
      exponent = static_cast<int>(std::clamp<int64_t>(e, -kMost, kMost));
    }
  }
  p.decimals = std::clamp(fraction - exponent, 0, kMost);
  return p;
}

char* FormatPrecise(char* out, double x, int decimals, int digits) {
  if (x == 0 || !std::isfinite(x)) return std::to_chars(out, out + 32, x == 0 ? 0.0 : x).ptr;
  // The digits before the point, less one: where the first significant digit
  // stands. log10 may be one off near a power of ten; the rounding of "%g"
  // then gives one digit more or less, never a wrong one.
  const int lead = static_cast<int>(std::floor(std::log10(std::fabs(x))));
  const int wanted = std::min(lead + 1 + decimals, std::clamp(digits, 1, 17));
  if (wanted < 1) {
    // Below one unit of the last decimal: it rounds to zero or to that unit.
    const double unit = std::pow(10.0, -decimals);
    const double rounded = std::fabs(x) < 0.5 * unit ? 0.0 : std::copysign(unit, x);
    return std::to_chars(out, out + 32, rounded, std::chars_format::general, 1).ptr;
  }
  return std::to_chars(out, out + 32, x, std::chars_format::general, wanted).ptr;
}

char* FormatFixed8(char* out, double x) {
  const uint64_t bits = std::bit_cast<uint64_t>(x);
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
  // Below 1: x * 10^8 = mantissa * 10^8 / 2^shift, exact in 128 bits; larger
  // values are rare here and go the general way.
  if (exponent >= 1023) return std::to_chars(out, out + 400, x, std::chars_format::fixed, 8).ptr;
  const uint64_t mantissa = exponent == 0
                                ? (bits & ((uint64_t{1} << 52) - 1))
                                : ((bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52));
  const int shift = 1075 - (exponent == 0 ? 1 : exponent);  // x = mantissa / 2^shift
  uint64_t n = 0;
  if (shift < 100) {
    const unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * 100000000u;
    const unsigned __int128 one = static_cast<unsigned __int128>(1) << shift;
    n = static_cast<uint64_t>(scaled >> shift);
    const unsigned __int128 rest = scaled & (one - 1);
    const unsigned __int128 half = one >> 1;
    if (rest > half || (rest == half && (n & 1) != 0)) ++n;
  }
  // Below 2^-100 the value rounds to zero.
  if (bits >> 63) *out++ = '-';
  *out++ = n >= 100000000u ? '1' : '0';
  *out++ = '.';
  uint64_t fraction = n % 100000000u;
  for (int i = 7; i >= 0; --i) {
    out[i] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  return out + 8;
}

}  // namespace zelfin
