#include "simplify/diet_obj_tokens.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "platform/numbers.h"

namespace zelfin {

namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string_view TrimObjLine(std::string_view line) {
  size_t b = 0;
  size_t e = line.size();
  while (b < e && IsBlank(line[b])) ++b;
  while (e > b && IsBlank(line[e - 1])) --e;
  return line.substr(b, e - b);
}

void SplitObjTokens(std::string_view line, std::vector<std::string_view>& tokens,
                    std::string& scratch) {
  tokens.clear();
  scratch.clear();
  // Unquoting never lengthens a token, so views into scratch stay valid.
  bool reserved = false;
  const size_t n = line.size();
  size_t i = 0;
  while (i < n) {
    if (IsBlank(line[i])) {
      ++i;
      continue;
    }
    if (line[i] != '"') {
      const size_t start = i;
      while (i < n && !IsBlank(line[i])) ++i;
      tokens.push_back(line.substr(start, i - start));
      continue;
    }
    ++i;
    const size_t start = i;
    bool doubled = false;
    size_t end = n;
    for (size_t k = i; k < n; ++k) {
      if (line[k] != '"') continue;
      if (k + 1 < n && line[k + 1] == '"') {
        doubled = true;
        ++k;
        continue;
      }
      end = k;
      break;
    }
    if (!doubled) {
      tokens.push_back(line.substr(start, end - start));
    } else {
      if (!reserved) {
        scratch.reserve(n);
        reserved = true;
      }
      const size_t from = scratch.size();
      for (size_t k = start; k < end; ++k) {
        scratch.push_back(line[k]);
        if (line[k] == '"') ++k;  // the second of a doubled quote
      }
      tokens.push_back(std::string_view(scratch).substr(from, scratch.size() - from));
    }
    i = end < n ? end + 1 : n;
  }
}

size_t CountObjTokens(std::string_view line) {
  size_t count = 0;
  const size_t n = line.size();
  size_t i = 0;
  while (i < n) {
    if (IsBlank(line[i])) {
      ++i;
      continue;
    }
    ++count;
    if (line[i] != '"') {
      while (i < n && !IsBlank(line[i])) ++i;
      continue;
    }
    ++i;
    while (i < n) {
      if (line[i] == '"') {
        if (i + 1 < n && line[i + 1] == '"') {
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      ++i;
    }
  }
  return count;
}

CoordinateRead ReadCoordinate(std::string_view t, double& value) {
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
  while (i < n && IsDigit(t[i])) {
    if (significant) {
      ++lead_exponent;
    } else if (t[i] != '0') {
      significant = true;
    }
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
  return CoordinateRead::kNumber;
}

bool ReadVertexReference(std::string_view token, int64_t& value) {
  const size_t slash = token.find('/');
  return ParseInteger(token.substr(0, slash), value);
}

}  // namespace zelfin
