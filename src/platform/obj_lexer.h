#pragma once
// The line rules that every OBJ reader shares: which bytes are blank, how a
// line is trimmed or cleaned, and how it is cut into tokens.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/numbers.h"
#include "platform/text_file.h"

namespace zelfin {

// Space and every control character: what trimming removes and what
// separates tokens.
inline bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}
inline bool IsLineEnd(char c) {
  return c == '\n' || c == '\r';
}

// The first CR or LF from p on, or end; tab is set when a tab stands before
// it. Eight bytes at a time where the byte order allows, for long lines.
inline const char* FindLineEnd(const char* p, const char* end, bool& tab) {
  if constexpr (std::endian::native == std::endian::little) {
    for (; end - p >= 8; p += 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      // The bytes below 14 (tab, LF, CR and rarer controls) get their high bit
      // set; a borrow may flag a few more, so each is looked at.
      for (uint64_t low = (word - kByteOnes * 14) & ~word & kByteHighs; low != 0; low &= low - 1) {
        const char* const at = p + std::countr_zero(low) / 8;
        if (IsLineEnd(*at)) return at;
        if (*at == '\t') tab = true;
      }
    }
  }
  for (; p < end && !IsLineEnd(*p); ++p) {
    if (*p == '\t') tab = true;
  }
  return p;
}

// The first line start at or after at: where a text is cut into pieces read
// apart, so that no cut splits a line nor a CR LF pair.
size_t LineStartFrom(std::string_view text, size_t at);

// What walking a line costs, by kind: so much per line and so much per byte.
struct WalkCosts {
  double face_line, face_byte;    // a face line
  double other_line, other_byte;  // any other
};

// The line start that cuts text into two pieces of about equal work, as costs
// price the lines. The mix is judged from lines sampled at even steps: files
// mostly hold their vertex lines first and their faces after, so half the
// bytes is rarely half the work.
size_t BalancedSplit(std::string_view text, const WalkCosts& costs);

// What may stand between a keyword and what follows it: space or tab.
inline bool IsKeywordBlank(char c) {
  return c == ' ' || c == '\t';
}

// Whether something other than blanks stands from p on before the line ends.
inline bool HasContent(const char* p, const char* end) {
  while (p < end && IsBlank(*p) && !IsLineEnd(*p)) ++p;
  return p < end && !IsLineEnd(*p);
}

// Whether the line at p (at its first non-blank) is a keyword line: keyword,
// a space or tab, and something after it. Every reader takes v, vt, vn, f,
// usemtl, g and mtllib lines by this rule.
inline bool IsKeywordLine(const char* p, const char* end, std::string_view keyword) {
  const size_t n = keyword.size();
  return static_cast<size_t>(end - p) > n && std::memcmp(p, keyword.data(), n) == 0 &&
         IsKeywordBlank(p[n]) && HasContent(p + n + 1, end);
}
inline bool IsKeywordLine(std::string_view line, std::string_view keyword) {
  return IsKeywordLine(line.data(), line.data() + line.size(), keyword);
}

// line without its leading and trailing blanks.
std::string_view TrimObjLine(std::string_view line);

// A number token as the simplification's cleaned lines hold it: tabs are
// spaces and commas periods ("1,5" reads as 1.5).
std::string CleanNumberToken(std::string_view token);

// ReadCoordinate of the token as CleanNumberToken makes it.
CoordinateRead ReadCleanCoordinate(std::string_view token, double& value,
                                   WrittenPrecision* written = nullptr);

// Tabs become spaces, then blanks are trimmed from both ends.
std::string CleanLine(std::string_view raw);

// The line that starts at begin (its first non-blank character), without its
// trailing blanks; it runs to the next CR, LF or text_end.
std::string_view TrimmedLineAt(const char* begin, const char* text_end);

// Reads the next token of line from pos into token. Blank runs separate
// tokens and never give an empty one. A token that begins with a double quote
// runs to the next quote that is not doubled (a doubled quote stands for one),
// or to the end of the line, without its quotes; whatever follows the closing
// quote starts the next token. A quote inside an unquoted token is an ordinary
// character. Returns false when no token is left.
bool NextToken(std::string_view line, size_t& pos, std::string& token);

// The first blank byte from p on, or end (a coordinate is often ten to twenty
// bytes long).
inline const char* FindBlank(const char* p, const char* end) {
  return FindFirstByte(
      p, end,
      // Bytes up to 0x20 get their high bit set (and bytes after one, by a borrow).
      [](uint64_t word) { return (word - kByteOnes * 0x21) & ~word & kByteHighs; }, IsBlank);
}

// The tokens of line as SplitObjTokens cuts them where no token starts with
// a quote: runs of bytes that are not blank. False (tokens unspecified) where
// one does. Most lines of a mesh have no quote: SplitObjTokens tries this
// first.
inline bool SplitPlainObjTokens(std::string_view line, std::vector<std::string_view>& tokens) {
  tokens.clear();
  const char* p = line.data();
  const char* const end = p + line.size();
  for (;;) {
    while (p < end && IsBlank(*p)) ++p;
    if (p == end) return true;
    if (*p == '"') return false;
    const char* const start = p;
    p = FindBlank(p, end);
    tokens.emplace_back(start, static_cast<size_t>(p - start));
  }
}

// Every token of line.
std::vector<std::string> Tokenize(std::string_view line);

// The same tokens as views: into line, or into scratch for a quoted token
// that held a doubled quote. Views stay valid until the next call with scratch.
void SplitObjTokens(std::string_view line, std::vector<std::string_view>& tokens,
                    std::string& scratch);

// How many tokens line holds.
size_t CountObjTokens(std::string_view line);

// The name that a cleaned usemtl line (a material: its second token) or g
// line (a group: every token after the keyword, joined by one space) gives.
std::string NameOfLine(std::string_view cleaned, bool material);

// What a face corner's part refers to: lines of kind 0 (v), 1 (vt) or 2 (vn).
inline constexpr const char* kObjKindWords[3] = {"vertex", "texture coordinate", "normal"};

// "Face on line <n> of "<path>" refers to <kind> <written>, but ..." for a
// non-zero index that names no line of its kind: a positive one beyond the
// total, a negative one that counts back past the `before` lines that stand
// before the face.
std::string BadObjReferenceMessage(const std::string& path, uint64_t line_number, int kind,
                                   std::string_view written, int64_t index, uint64_t before,
                                   uint64_t total);

}  // namespace zelfin
