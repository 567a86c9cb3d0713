#include "platform/obj_lexer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace zelfin {
namespace {

using Tokens = std::vector<std::string>;

TEST(Tokenize, BlankRunsSeparateAndNeverYieldEmptyTokens) {
  EXPECT_EQ(Tokenize("g  left \x01\x1f arm"), (Tokens{"g", "left", "arm"}));
  EXPECT_EQ(Tokenize(""), Tokens{});
}

TEST(Tokenize, QuotedTokens) {
  // Quotes dropped, doubled quotes stand for one, spaces kept inside.
  EXPECT_EQ(Tokenize(R"(g "my ""big"" part" x)"), (Tokens{"g", R"(my "big" part)", "x"}));
  // The token ends at its closing quote; what follows starts the next one.
  EXPECT_EQ(Tokenize(R"(g "a"b)"), (Tokens{"g", "a", "b"}));
  // Without a closing quote the token runs to the end of the line.
  EXPECT_EQ(Tokenize(R"(g "open  end)"), (Tokens{"g", "open  end"}));
  // A quote inside an unquoted token is an ordinary character.
  EXPECT_EQ(Tokenize(R"(g a"b" c)"), (Tokens{"g", R"(a"b")", "c"}));
  EXPECT_EQ(Tokenize(R"(g "")"), (Tokens{"g", ""}));
}

// The word-at-a-time scans against the general tokeniser and a byte loop, on lines
// of the bytes next to their thresholds (0x20/0x21, 0x7f/0x80, tab, CR, LF,
// quotes), at every alignment.
TEST(SplitPlainObjTokens, CutsAsSplitObjTokensWhereNoTokenStartsWithAQuote) {
  const std::string alphabet = std::string("  \t\x01\x1f\x20\x21") + "aa7.\"\x7f\x80\xa0\xff";
  std::mt19937 random(3);
  std::vector<std::string_view> plain;
  int quoted = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string line(random() % 48, ' ');
    for (char& c : line) c = alphabet[random() % alphabet.size()];
    bool opens_quote = false;
    for (size_t k = 0; k < line.size(); ++k) {
      opens_quote |= line[k] == '"' && (k == 0 || IsBlank(line[k - 1]));
    }
    ASSERT_EQ(SplitPlainObjTokens(line, plain), !opens_quote) << line;
    if (opens_quote) {
      ++quoted;
      continue;
    }
    // Against Tokenize: SplitObjTokens itself tries the plain cut first.
    ASSERT_EQ(Tokens(plain.begin(), plain.end()), Tokenize(line)) << line;
    for (size_t from = 0; from <= line.size(); ++from) {
      const char* p = line.data() + from;
      const char* q = p;
      while (q < line.data() + line.size() && !IsBlank(*q)) ++q;
      ASSERT_EQ(FindBlank(p, line.data() + line.size()), q) << line << " from " << from;
    }
  }
  EXPECT_GT(quoted, 1000);  // both roads were taken
}

TEST(NameOfLine, MaterialTakesSecondTokenGroupJoinsTheRest) {
  EXPECT_EQ(NameOfLine("usemtl a b", true), "a");
  EXPECT_EQ(NameOfLine("g left    arm", false), "left arm");
  EXPECT_EQ(NameOfLine(R"(g "left  arm" x)", false), "left  arm x");
  EXPECT_EQ(NameOfLine("g", false), "");
}

TEST(CleanLine, TabsBecomeSpacesAndBlankEndsGo) {
  EXPECT_EQ(CleanLine(" \t v\t1  2\t3 \x01"), "v 1  2 3");
  EXPECT_EQ(CleanLine("\t\t"), "");
  const std::string text = "v 1 2 \x01\r\nv 3";
  EXPECT_EQ(TrimmedLineAt(text.data(), text.data() + text.size()), "v 1 2");
  EXPECT_EQ(TrimmedLineAt(text.data() + 9, text.data() + text.size()), "v 3");
}

TEST(IsKeywordLine, KeywordThenSpaceOrTabThenSomething) {
  EXPECT_TRUE(IsKeywordLine("usemtl\tstone", "usemtl"));
  EXPECT_TRUE(IsKeywordLine("f 1 2 3", "f"));
  // No blank after the keyword, another blank, nothing after it.
  for (const char* line : {"usemtlstone", "usemtl\x01stone", "usemtl \t ", "usemtl", "use"}) {
    EXPECT_FALSE(IsKeywordLine(line, "usemtl")) << line;
  }
  // A raw line: what follows its end does not count.
  const std::string text = "g \r\ng x";
  EXPECT_FALSE(IsKeywordLine(text.data(), text.data() + text.size(), "g"));
}

TEST(LineStartFrom, NeverSplitsALineNorACrLf) {
  const std::string text = "v 1\r\nv 2\nv 3\rv 4";
  EXPECT_EQ(LineStartFrom(text, 0), 0u);
  EXPECT_EQ(LineStartFrom(text, 1), 5u);  // within "v 1": after its CR LF
  EXPECT_EQ(LineStartFrom(text, 4), 5u);  // between CR and LF
  EXPECT_EQ(LineStartFrom(text, 5), 5u);  // at a line start
  EXPECT_EQ(LineStartFrom(text, 10), 13u);
  EXPECT_EQ(LineStartFrom(text, 14), text.size());  // in the last line
  EXPECT_EQ(LineStartFrom(text, 99), text.size());
}

// Vertex lines first, faces after, as most files hold them (the vertex lines
// twice as long): the cut weighs lines and bytes as told, moves into the faces
// as they cost more, and always falls on a line start.
TEST(BalancedSplit, WeighsLinesAndBytesAndCutsAtALineStart) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "v 0.25 0.5 0.75 0.125 0.0625\r\n";
  const size_t faces_from = text.size();
  const std::string face = "  f 1 2 3 4 5\r\n";
  for (int i = 0; i < 3000; ++i) text += face;
  const auto at_line_start = [&](size_t at) { return at > 0 && text[at - 1] == '\n'; };
  const size_t even = BalancedSplit(text, {1, 0, 1, 0});
  const size_t heavy = BalancedSplit(text, {3, 0, 1, 0});
  const size_t bytes = BalancedSplit(text, {0, 1, 0, 1});
  EXPECT_TRUE(at_line_start(even));
  EXPECT_TRUE(at_line_start(heavy));
  EXPECT_TRUE(at_line_start(bytes));
  const double slack = static_cast<double>(text.size()) / 100.0;
  EXPECT_NEAR(static_cast<double>(even), static_cast<double>(faces_from), slack);
  // Cost 3 per face line: half the work, 6000 of 12000, is 1000 faces in.
  EXPECT_NEAR(static_cast<double>(heavy), static_cast<double>(faces_from + 1000 * face.size()),
              slack);
  EXPECT_NEAR(static_cast<double>(bytes), static_cast<double>(text.size()) / 2, slack);
}

TEST(CleanNumberToken, CommasArePeriodsAndTabsSpaces) {
  EXPECT_EQ(CleanNumberToken("1,5\t"), "1.5 ");
  double value = 0;
  EXPECT_EQ(ReadCleanCoordinate("-1,25", value), CoordinateRead::kNumber);
  EXPECT_EQ(value, -1.25);
  EXPECT_EQ(ReadCleanCoordinate("1,2,3", value), CoordinateRead::kNotANumber);
}

}  // namespace
}  // namespace zelfin
