#include "division/face_corners.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/numbers.h"

namespace zelfin {
namespace {

// The hand-written reader must agree with the platform's integer reader on
// every text: numbers, signs, junk and values beyond int64_t.
TEST(ParseIndex, AgreesWithParseInteger) {
  std::vector<std::string> texts = {"",
                                    "+",
                                    "-",
                                    "0",
                                    "-0",
                                    "+7",
                                    "12",
                                    "1.5",
                                    "1e3",
                                    " 1",
                                    "--1",
                                    "9223372036854775807",
                                    "9223372036854775808",
                                    "-9223372036854775808",
                                    "-9223372036854775809",
                                    "99999999999999999999999",
                                    "922337203685477580",
                                    "9223372036854775799"};
  std::mt19937 random(7);
  const std::string alphabet = "0123456789+-x/ ";
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    const int length = static_cast<int>(random() % 22);
    for (int j = 0; j < length; ++j) {
      // Mostly digits, so that long numbers occur.
      text += random() % 4 != 0 ? alphabet[random() % 10] : alphabet[random() % alphabet.size()];
    }
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    int64_t expected = 0;
    if (!ParseInteger(text, expected)) expected = 0;
    EXPECT_EQ(ParseIndex(text), expected) << '"' << text << '"';
  }
}

TEST(ParseCorner, EverySlashSeparatesTwoParts) {
  Corner c = ParseCorner("12");
  EXPECT_EQ(c.parts, 1);
  EXPECT_EQ(c.index[0], 12);

  c = ParseCorner("12//7");
  EXPECT_EQ(c.parts, 3);
  EXPECT_EQ(c.index[0], 12);
  EXPECT_EQ(c.index[1], 0);
  EXPECT_EQ(c.index[2], 7);

  c = ParseCorner("3/");  // a slash at the end adds an empty last part
  EXPECT_EQ(c.parts, 2);
  EXPECT_EQ(c.index[1], 0);

  c = ParseCorner("1/2/3/4/5");  // parts after the third are dropped
  EXPECT_EQ(c.parts, 3);
  EXPECT_EQ(c.index[2], 3);

  c = ParseCorner("-1/x/+4");
  EXPECT_EQ(c.index[0], -1);
  EXPECT_EQ(c.index[1], 0);
  EXPECT_EQ(c.index[2], 4);
  EXPECT_EQ(c.text[1], "x");
}

// The one-sweep corner reader against splitting first and reading each part.
TEST(ParseCorner, AgreesWithSplittingThenReadingEachPart) {
  std::mt19937 random(11);
  const std::string alphabet = "0123456789/+-x";
  for (int i = 0; i < 20000; ++i) {
    std::string token;
    const int length = 1 + static_cast<int>(random() % 45);
    for (int j = 0; j < length; ++j) {
      token += random() % 5 != 0 ? alphabet[random() % 10] : alphabet[random() % alphabet.size()];
    }
    const Corner corner = ParseCorner(token);
    int parts = 0;
    size_t start = 0;
    for (; parts < 3; ++parts) {
      const size_t slash = std::min(token.find('/', start), token.size());
      int64_t expected = 0;
      if (!ParseInteger(token.substr(start, slash - start), expected)) expected = 0;
      EXPECT_EQ(corner.index[parts], expected) << token << " part " << parts;
      if (slash == token.size()) break;
      start = slash + 1;
    }
    EXPECT_EQ(corner.parts, std::min(parts + 1, 3)) << token;
  }
}

std::vector<std::string> CornerTexts(const std::string& line) {
  std::vector<std::string> corners;
  std::string scratch;
  const char* end =
      ForEachCorner(line.data(), line.data() + line.size(), scratch, [&](const Corner& c) {
        std::string text(c.text[0]);
        for (int k = 1; k < c.parts; ++k) text += "/" + std::string(c.text[k]);
        corners.push_back(text);
      });
  corners.push_back("end@" + std::to_string(end - line.data()));
  return corners;
}

TEST(ForEachCorner, StopsAtTheLineEndAndReadsQuotedCorners) {
  using V = std::vector<std::string>;
  EXPECT_EQ(CornerTexts("f 1\t2  3\r\nf 4"), (V{"1", "2", "3", "end@8"}));
  EXPECT_EQ(CornerTexts("f 1/2 \"3//4\"5 \x01"), (V{"1/2", "3//4", "5", "end@15"}));
  EXPECT_EQ(CornerTexts("f \"7  \n"), (V{"7", "end@6"}));  // unclosed quote: blanks at the end go
}

// The fast reader of raw face lines against the general rule: clean the line,
// cut it into tokens, read each token as a corner. Parts written alike
// ("12/12/12", "-3//-3", "12/123/12") are compared with the first, not read.
TEST(ForEachCorner, AgreesWithTokenisingTheCleanedLine) {
  std::mt19937 random(5);
  const std::string alphabet = "0123456789/-+ \t\"x\x01";
  for (int i = 0; i < 20000; ++i) {
    std::string line = "f ";
    const int length = static_cast<int>(random() % 40);
    for (int j = 0; j < length; ++j) {
      line += alphabet[random() % alphabet.size()];
      if (random() % 8 != 0) continue;
      std::string part = random() % 4 == 0 ? "-" : "";
      for (int d = 1 + static_cast<int>(random() % 10); d > 0; --d)
        part += "0123456789"[random() % 10];
      const std::string other = random() % 2 == 0 ? part : part.substr(0, part.size() - 1);
      line += " " + part + "/" + (random() % 3 == 0 ? "" : other) + "/" + part +
              (random() % 2 == 0 ? "3" : "");
    }
    std::vector<std::pair<int, std::vector<int64_t>>> expected, actual;
    const std::vector<std::string> tokens = Tokenize(CleanLine(line));
    for (size_t t = 1; t < tokens.size(); ++t) {
      const Corner c = ParseCorner(tokens[t]);
      expected.emplace_back(c.parts, std::vector<int64_t>(c.index, c.index + c.parts));
    }
    std::string scratch;
    ForEachCorner(line.data(), line.data() + line.size(), scratch, [&](const Corner& c) {
      actual.emplace_back(c.parts, std::vector<int64_t>(c.index, c.index + c.parts));
    });
    EXPECT_EQ(actual, expected) << '"' << line << '"';
  }
}

TEST(IndexInRange, CountsAbsoluteOverTheFileAndRelativeBeforeTheFace) {
  EXPECT_TRUE(IndexInRange(5, 2, 5));
  EXPECT_FALSE(IndexInRange(6, 2, 5));
  EXPECT_TRUE(IndexInRange(-2, 2, 5));
  EXPECT_FALSE(IndexInRange(-3, 2, 5));
  EXPECT_FALSE(IndexInRange(std::numeric_limits<int64_t>::min(), 2, 5));
  EXPECT_FALSE(IndexInRange(std::numeric_limits<int64_t>::max(), 2, 5));
  EXPECT_EQ(AbsoluteIndex(-1, 4), 4);
  EXPECT_EQ(AbsoluteIndex(3, 4), 3);
}

}  // namespace
}  // namespace zelfin
