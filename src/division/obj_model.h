#pragma once
// The element model of one division run: the file's text in one buffer, the
// v, vt and vn lines in file order, the sorted names and each name's faces.
// A line is held as one 64-bit word pointing into the buffer, which keeps a
// large file within a small multiple of its own size.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/collation.h"
#include "platform/obj_lexer.h"

namespace zelfin {

// Where the names of a division come from: the setting DivIndex. Materials
// (usemtl lines) for kDivMaterial, groups (g lines) for any other value.
inline constexpr int32_t kDivMaterial = 0;
inline constexpr int32_t kDivGroup = 1;
inline constexpr int32_t kDivGroupOption = 2;

// The offset of a cleaned line in the buffer (upper 40 bits) and its length
// (lower 24 bits, or kLongLine for a longer line, whose end is then found by
// scanning). Ordered like the lines' offsets.
using LineRef = uint64_t;
inline constexpr int kLengthBits = 24;
inline constexpr uint64_t kLongLine = (uint64_t{1} << kLengthBits) - 1;
inline constexpr uint64_t kMaxTextSize = uint64_t{1} << (64 - kLengthBits);

inline LineRef MakeLineRef(uint64_t start, uint64_t length) {
  return start << kLengthBits | (length < kLongLine ? length : kLongLine);
}
inline uint64_t LineStart(LineRef ref) {
  return ref >> kLengthBits;
}

struct ObjModel {
  std::string text;  // tabs of the stored v, vt and vn lines already spaces
  std::vector<LineRef> VLines, VTLines, VNLines;
  std::vector<std::string> ElementNames;        // ascending by the collator
  std::vector<std::vector<LineRef>> FaceLines;  // per name, in file order
};

// The cleaned text of a stored line (a face line keeps its tabs).
inline std::string_view LineAt(const ObjModel& model, LineRef ref) {
  const char* p = model.text.data() + LineStart(ref);
  const uint64_t length = ref & kLongLine;
  if (length == kLongLine) return TrimmedLineAt(p, model.text.data() + model.text.size());
  return std::string_view(p, length);
}

// VLines, VTLines or VNLines for part kind 0, 1 or 2 of a corner.
const std::vector<LineRef>& LinesOfKind(const ObjModel& model, int kind);

// How many of lines (in file order) start before offset.
uint64_t LinesBefore(const std::vector<LineRef>& lines, uint64_t offset);

// Builds the model from the text of a file; path names the file in messages.
// DivIndex 0 takes names from usemtl lines, any other value from g lines.
// Raises a ZelfinError when a stored face refers to a line that does not exist.
ObjModel ParseOBJ(std::string text, int32_t DivIndex, const NameCollator& collator,
                  const std::string& path);

// Reads the file at path and builds its model, ordering names by the
// collation of the user's locale.
ObjModel LoadOBJ(const std::string& path, int32_t DivIndex);

}  // namespace zelfin
