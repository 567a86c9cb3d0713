#pragma once
// The element model of one division run: the file's text (mapped, not
// copied), the v, vt and vn lines in file order, the sorted names and each
// name's faces. A v, vt or vn line is held as one 64-bit word pointing into
// the text, a face as a record of its corners' numbers that takes a fraction
// of the face's text, so the model adds a small share to the file's own size
// and the writers never read a face's text again.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "division/face_records.h"
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
  std::vector<std::string> ElementNames;  // ascending by the collator
  // The faces of every name, each read once into a record of its corners'
  // line numbers (see face_records.h): runs of name i, in file order, are
  // runs[name_runs[i]] up to runs[name_runs[i + 1]].
  FaceStore faces;
  std::vector<FaceRun> runs;
  std::vector<size_t> name_runs;
  uint32_t second_piece_base[3] = {0, 0, 0};  // lines of each kind before the second piece
  bool element_tabs = false;                  // whether a stored v, vt or vn line may hold a tab
  // Kept only when the parse is asked to keep materials: the mtllib lines,
  // cleaned, in file order; in the group modes also, per material name, the
  // cleaned usemtl line that named it first, which runs refer to (in
  // Material mode the name is the material).
  std::vector<std::string> LibraryLines;
  std::vector<std::string> MaterialLines;
};

// The runs of faces of name i (a position in ElementNames), in file order.
inline std::span<const FaceRun> RunsOf(const ObjModel& model, uint32_t name) {
  return std::span<const FaceRun>(model.runs.data() + model.name_runs[name],
                                  model.name_runs[name + 1] - model.name_runs[name]);
}

// Reads the faces of a run of the model.
inline FaceReader ReaderOf(const ObjModel& model, const FaceRun& run) {
  return FaceReader(model.faces, run, model.second_piece_base);
}

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

// Where a parse cuts the text to read its two pieces at once (the second
// piece starts at the first line that starts there or later), so that both
// take about as long; 0 keeps a small text in one piece.
size_t SplitPointFor(std::string_view text);

// Builds the model from the text of a file; path names the file in messages.
// DivIndex 0 takes names from usemtl lines, any other value from g lines.
// keep_materials also keeps the mtllib lines and, in the group modes, the
// material of every run. Raises a ZelfinError when a stored face refers to a
// line that does not exist. The text is read in two pieces at once when split
// is inside it; the model is the same wherever it is cut. The heartbeat beats
// per line.
ObjModel ParseOBJ(FileText text, int32_t DivIndex, const NameCollator& collator,
                  const std::string& path, Heartbeat& heartbeat, size_t split,
                  bool keep_materials = false);

// The same for text in memory, in one or two pieces as SplitPointFor says.
ObjModel ParseOBJ(std::string text, int32_t DivIndex, const NameCollator& collator,
                  const std::string& path, bool keep_materials = false);

// Reads the file at path and builds its model, ordering names by the
// collation of the user's locale.
ObjModel LoadOBJ(const std::string& path, int32_t DivIndex, Heartbeat& heartbeat,
                 bool keep_materials = false);
ObjModel LoadOBJ(const std::string& path, int32_t DivIndex);

}  // namespace zelfin
