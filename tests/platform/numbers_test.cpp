#include "platform/numbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <random>
#include <string>

#include "platform/obj_lexer.h"

namespace zelfin {
namespace {

// The reading eight digits at a time agrees with reading digit by digit, for
// every length and every place of the first byte that is not a digit.
TEST(ParseIntegerAt, AgreesWithTheCarefulReadingAtEveryLength) {
  std::mt19937_64 random(7);
  const std::string stops = "/ \r\n\t:x\xff";
  for (int round = 0; round < 20000; ++round) {
    std::string text = round % 3 == 0 ? "-" : round % 3 == 1 ? "+" : "";
    const int digits = static_cast<int>(random() % 24);
    for (int i = 0; i < digits; ++i) text += static_cast<char>('0' + random() % 10);
    const std::string number = text;
    if (random() % 2) text += stops[random() % stops.size()] + std::string("123456789");
    int64_t got = 42, want = 42;
    const char* stop = ParseIntegerAt(text.data(), text.data() + text.size(), got);
    if (digits == 0) {
      EXPECT_EQ(stop, text.data()) << text;
      EXPECT_EQ(got, 42);
      continue;
    }
    ASSERT_TRUE(ParseLongInteger(number, want)) << number;
    EXPECT_EQ(got, want) << text;
    EXPECT_EQ(stop, text.data() + number.size()) << text;
    EXPECT_TRUE(ParseInteger(number, got));
    EXPECT_FALSE(ParseInteger(text + "x", got));
  }
}

TEST(FindLineEnd, FindsTheFirstCrOrLfAndNotesTabsBeforeIt) {
  std::mt19937_64 random(11);
  const std::string bytes = "ab \t\r\n\x0b\x0c\x01\x0e\x8d\x8a";
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const size_t length = random() % 40;
    for (size_t i = 0; i < length; ++i) text += bytes[random() % bytes.size()];
    size_t want = 0;
    bool want_tab = false;
    while (want < text.size() && text[want] != '\r' && text[want] != '\n') {
      want_tab = want_tab || text[want] == '\t';
      ++want;
    }
    bool tab = false;
    const char* end = FindLineEnd(text.data(), text.data() + text.size(), tab);
    EXPECT_EQ(static_cast<size_t>(end - text.data()), want) << text;
    EXPECT_EQ(tab, want_tab) << text;
  }
}

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

TEST(PrecisionOf, CountsDecimalsLessTheExponentAndSignificantDigits) {
  const struct {
    const char* text;
    int decimals, digits;
  } cases[] = {{"2.297", 3, 4}, {"-0.0832331", 7, 6}, {"1.5e-3", 4, 2},
               {"-120", 0, 3},  {"0", 0, 0},          {"1,25", 2, 3},
               {"3E2", 0, 1},   {"+.5", 1, 1},        {"1e-999", 400, 1}};
  for (const auto& c : cases) {
    const WrittenPrecision p = PrecisionOf(c.text);
    EXPECT_EQ(p.decimals, c.decimals) << c.text;
    EXPECT_EQ(p.digits, c.digits) << c.text;
  }
}

// A coordinate read as a number says the precision that PrecisionOf finds in
// it, for random forms: signs, leading and trailing zeros, a point or a comma
// anywhere, exponents up to far beyond 400, and digits beyond 400.
TEST(PrecisionOf, TheCoordinateReaderFindsTheSame) {
  std::mt19937 random(7);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  for (int i = 0; i < 20000; ++i) {
    std::string t = pick(3) == 0 ? "-" : pick(2) == 0 ? "+" : "";
    const int digits = pick(8) == 0 ? 420 : pick(12);
    const int point = pick(digits + 2);
    for (int d = 0; d < digits; ++d) {
      if (d == point) t += pick(4) == 0 ? ',' : '.';
      t += static_cast<char>('0' + (pick(3) == 0 ? 0 : pick(10)));
    }
    if (pick(3) == 0) t += "e" + std::string(pick(2) ? "-" : "") + std::to_string(pick(900));
    double value = 0;
    WrittenPrecision read{-1, -1};
    if (ReadCleanCoordinate(t, value, &read) != CoordinateRead::kNumber) continue;
    const WrittenPrecision expected = PrecisionOf(t);
    ASSERT_EQ(read.decimals, expected.decimals) << t;
    ASSERT_EQ(read.digits, expected.digits) << t;
  }
}

// The input's decimals plus three, cut at the significant digits allowed.
TEST(FormatPrecise, RoundsToDecimalsWithinSignificantDigits) {
  const auto text = [](double x, int decimals, int digits) {
    char buf[32];
    return std::string(buf, FormatPrecise(buf, x, decimals, digits));
  };
  EXPECT_EQ(text(2.060725514195587, 6, 9), "2.060726");
  EXPECT_EQ(text(2.5000001, 6, 9), "2.5");
  EXPECT_EQ(text(-0.0000004, 6, 9), "0");
  EXPECT_EQ(text(0.0000007, 6, 9), "1e-06");
  EXPECT_EQ(text(1000.000123456, 9, 9), "1000.00012");
  EXPECT_EQ(text(1000.000123456, 9, 10), "1000.000123");
  EXPECT_EQ(text(123456789012.5, 3, 9), "1.23456789e+11");
  EXPECT_EQ(text(-0.0, 6, 9), "0");
  double back = 0;
  const std::string full = text(0.1 + 0.2, 30, 17);
  std::from_chars(full.data(), full.data() + full.size(), back);
  EXPECT_EQ(back, 0.1 + 0.2);
}

}  // namespace
}  // namespace zelfin
