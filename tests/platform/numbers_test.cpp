#include "platform/numbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <random>
#include <string>

namespace zelfin {
namespace {

std::string Fixed8(double x) {
  char buf[400];
  return std::string(buf, FormatFixed8(buf, x));
}

std::string Reference(double x) {
  char buf[400];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, 8).ptr);
}

// The fast road below 1 must agree with the general one on every value: ties
// (odd multiples of 2^-9 sit exactly half way between two eighth decimals),
// values that round up to 1, signed zeros, subnormals, and random bits.
TEST(FormatFixed8, AgreesWithTheGeneralFormatting) {
  std::vector<double> values = {
      0.0,         -0.0,       1.0 / 512, 3.0 / 512, -5.0 / 512,
      0.999999995, 0.99999999, 1.0,       -1.0,      0.5,
      1e-9,        -4e-9,      5e-9,      4.9e-324,  -2.2250738585072014e-308,
      12345.678,   -1e300,     0.1,       0.3};
  std::mt19937_64 rng(5);
  for (int i = 0; i < 200000; ++i) {
    // Random bits over the exponents of -1 .. 1, and plain uniform values.
    const uint64_t bits = (rng() & 0x800FFFFFFFFFFFFFull) | ((900 + rng() % 124) << 52);
    values.push_back(std::bit_cast<double>(bits));
    values.push_back(std::ldexp(static_cast<double>(rng() % 1024 * 2 + 1), -10));
  }
  for (const double x : values) ASSERT_EQ(Fixed8(x), Reference(x)) << std::hexfloat << x;
}

}  // namespace
}  // namespace zelfin
