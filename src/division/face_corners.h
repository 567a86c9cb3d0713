#pragma once
// The corners of a face line: vertex, texture-coordinate and normal parts,
// read by hand because every face of a file is read on the hot path.
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "platform/numbers.h"
#include "platform/obj_lexer.h"

namespace zelfin {

// Part k of a corner refers to a line of kind k.
inline constexpr int kVertexPart = 0;
inline constexpr int kTexturePart = 1;
inline constexpr int kNormalPart = 2;

struct Corner {
  int parts = 0;             // 1, 2 or 3: parts after the third are dropped
  int64_t index[3] = {};     // > 0 absolute, < 0 relative, 0 no reference
  std::string_view text[3];  // the parts as written, for messages
};

// A part read as a whole number with an optional sign; anything else reads as
// 0. Numbers beyond int64_t saturate to its bounds.
inline int64_t ParseIndex(std::string_view part) {
  int64_t value = 0;
  return ParseInteger(part, value) ? value : 0;
}

// Whether a corner that is being read ends at q. With kToBlank it ends at the
// first blank, and the byte at end must be readable and blank (a std::string's
// terminator, or what follows a trimmed line), so no bound needs checking.
template <bool kToBlank>
inline bool CornerEnds(const char* q, const char* end) {
  if constexpr (kToBlank) {
    return IsBlank(*q);
  } else {
    return q == end;
  }
}

// Whether the part at p is written as the corner's first part, the n bytes at
// first (1 to 8, a number), followed by the end of the part: many files number
// a corner's parts alike ("7/7/7"), and a comparison costs less than reading
// the number again.
template <bool kToBlank>
inline bool RepeatsFirstPart(const char* p, const char* end, const char* first, size_t n) {
  if (n == 0 || n > 8 || end - p < 9) return false;
  uint64_t here, there;
  std::memcpy(&here, p, 8);
  std::memcpy(&there, first, 8);  // first + 8 <= p + 8 <= end
  const uint64_t mask = n == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * n)) - 1;
  return ((here ^ there) & mask) == 0 && (p[n] == '/' || CornerEnds<kToBlank>(p + n, end));
}

// Reads one corner from p, splitting it at every "/". Returns where it stopped.
template <bool kToBlank>
inline const char* ReadCorner(const char* p, const char* end, Corner& corner) {
  int parts = 0;
  for (;;) {
    const char* const start = p;
    int64_t index = 0;
    if (std::endian::native == std::endian::little && parts > 0 && corner.index[0] != 0 &&
        RepeatsFirstPart<kToBlank>(p, end, corner.text[0].data(), corner.text[0].size())) {
      p += corner.text[0].size();
      index = corner.index[0];
    } else {
      p = ParseIntegerAt(p, end, index);
      if (p == start || !(CornerEnds<kToBlank>(p, end) || *p == '/')) {
        index = 0;  // not a whole number: reads as no reference
        while (!CornerEnds<kToBlank>(p, end) && *p != '/') ++p;
      }
    }
    corner.text[parts] = std::string_view(start, static_cast<size_t>(p - start));
    corner.index[parts] = index;
    ++parts;
    if (CornerEnds<kToBlank>(p, end)) break;
    if (parts == 3) {  // parts after the third are dropped
      while (!CornerEnds<kToBlank>(p, end)) ++p;
      break;
    }
    ++p;  // the slash
  }
  corner.parts = parts;
  return p;
}

inline Corner ParseCorner(std::string_view token) {
  Corner corner;
  ReadCorner<false>(token.data(), token.data() + token.size(), corner);
  return corner;
}

// Calls fn(const Corner&) for each corner of the face line whose keyword "f"
// stands at line; the line ends at its CR, LF or text_end, which is returned.
// The byte at text_end must be readable and blank (see CornerEnds). scratch
// holds quoted tokens.
template <class Fn>
const char* ForEachCorner(const char* line, const char* text_end, std::string& scratch, Fn&& fn) {
  const char* p = line + 1;
  Corner corner;
  for (;;) {
    while (p < text_end && IsBlank(*p) && !IsLineEnd(*p)) ++p;
    if (p == text_end || IsLineEnd(*p)) return p;
    if (*p == '"') break;
    p = ReadCorner<true>(p, text_end, corner);
    fn(static_cast<const Corner&>(corner));
  }
  // Quoted tokens are rare: the general tokeniser takes the rest of the line.
  const std::string_view rest = TrimmedLineAt(p, text_end);
  size_t pos = 0;
  while (NextToken(rest, pos, scratch)) fn(ParseCorner(scratch));
  while (p < text_end && !IsLineEnd(*p)) ++p;
  return p;
}

// The 1-based line that a non-zero index names; before is the number of lines
// of its kind that stand before the face. May be out of range: check first.
inline int64_t AbsoluteIndex(int64_t index, uint64_t before) {
  return index < 0 ? static_cast<int64_t>(before) + index + 1 : index;
}

// Whether a non-zero index names one of total lines, before of them standing
// before the face.
inline bool IndexInRange(int64_t index, uint64_t before, uint64_t total) {
  if (index > 0) return static_cast<uint64_t>(index) <= total;
  return index >= -static_cast<int64_t>(before);
}

}  // namespace zelfin
