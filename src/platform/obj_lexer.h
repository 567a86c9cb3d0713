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
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    for (; end - p >= 8; p += 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      // The bytes below 14 (tab, LF, CR and rarer controls) get their high bit
      // set; a borrow may flag a few more, so each is looked at.
      for (uint64_t low = (word - kOnes * 14) & ~word & kHigh; low != 0; low &= low - 1) {
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

inline const char* FindLineEnd(const char* p, const char* end) {
  bool tab = false;
  return FindLineEnd(p, end, tab);
}

// line without its leading and trailing blanks.
std::string_view TrimObjLine(std::string_view line);

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
