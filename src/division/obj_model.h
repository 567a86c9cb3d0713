#pragma once
// The element model of one division run: the file's text (mapped, not
// copied), the v, vt and vn lines in file order, the sorted names and each
// name's faces. A line is held as one 64-bit word pointing into the text, so
// the model adds a small share to the file's own size.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/collation.h"
#include "platform/heartbeat.h"
#include "platform/obj_lexer.h"
#include "platform/text_file.h"

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
  FileText source;  // the file's text, read-only: tabs become spaces only when written
  std::vector<LineRef> VLines, VTLines, VNLines;
  std::vector<std::string> ElementNames;        // ascending by the collator
  std::vector<std::vector<LineRef>> FaceLines;  // per name, in file order
  bool element_tabs = false;                    // whether a stored v, vt or vn line may hold a tab
};

// A stored line as the file has it, trimmed: a tab is still a tab.
inline std::string_view RawLineAt(const ObjModel& model, LineRef ref) {
  const std::string_view text = model.source.text();
  const char* p = text.data() + LineStart(ref);
  const uint64_t length = ref & kLongLine;
  if (length == kLongLine) return TrimmedLineAt(p, text.data() + text.size());
  return std::string_view(p, length);
}

// The cleaned text of a stored line: tabs as spaces.
std::string LineAt(const ObjModel& model, LineRef ref);

// VLines, VTLines or VNLines for part kind 0, 1 or 2 of a corner.
inline const std::vector<LineRef>& LinesOfKind(const ObjModel& model, int kind) {
  return kind == 0 ? model.VLines : kind == 1 ? model.VTLines : model.VNLines;
}

// How many of lines (in file order) start before offset.
uint64_t LinesBefore(const std::vector<LineRef>& lines, uint64_t offset);

// Where a parse cuts a text of this size to read its two pieces at once (the
// second piece starts at the first line that starts there or later); 0 keeps
// a small text in one piece.
size_t SplitPointFor(size_t text_size);

// Builds the model from the text of a file; path names the file in messages.
// DivIndex 0 takes names from usemtl lines, any other value from g lines.
// Raises a ZelfinError when a stored face refers to a line that does not
// exist. The text is read in two pieces at once when split is inside it;
// the model is the same wherever it is cut. The heartbeat beats per line.
ObjModel ParseOBJ(FileText text, int32_t DivIndex, const NameCollator& collator,
                  const std::string& path, Heartbeat& heartbeat, size_t split);

// The same for text in memory, in one or two pieces as SplitPointFor says.
ObjModel ParseOBJ(std::string text, int32_t DivIndex, const NameCollator& collator,
                  const std::string& path);

// Reads the file at path and builds its model, ordering names by the
// collation of the user's locale.
ObjModel LoadOBJ(const std::string& path, int32_t DivIndex, Heartbeat& heartbeat);
ObjModel LoadOBJ(const std::string& path, int32_t DivIndex);

}  // namespace zelfin
