#pragma once
// Writes one output file of the division: the vertex data that the faces of
// some names use, renumbered from 1 in file order, and those faces rewritten.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "division/obj_model.h"
#include "division/used_set.h"
#include "platform/heartbeat.h"
#include "platform/write_behind.h"

namespace zelfin {

// What one thread needs to write files one after another: per kind the set of
// lines the file uses, which also gives their new numbers (ranks in file
// order). Sized once, reused by every file. Aligned to a cache line, since two
// threads use one each.
struct alignas(64) Renumbering {
  explicit Renumbering(const ObjModel& model);
  std::vector<UsedSet> used;
};

// How the files of a run are written: the keyword of the name lines, and what
// they carry of the materials when those are kept (nothing by default).
struct NamesFileStyle {
  std::string_view keyword;  // "usemtl " or "g "
  // Lines after the header line: the mtllib lines, as they suit the output folder.
  const std::vector<std::string>* libraries = nullptr;
  // A usemtl line (of model.MaterialLines) before each run of faces of one
  // material, after every name line; faces before any usemtl line get none.
  bool material_lines = false;
};

// The style of the files of model written into folder from the input at
// path: keyword, and with keep_materials the model's mtllib lines as they
// suit folder (kept in libraries, which must outlive the style) and, in the
// group modes, the usemtl lines.
NamesFileStyle StyleOf(const ObjModel& model, std::string_view keyword, bool keep_materials,
                       const std::string& path, const std::string& folder,
                       std::vector<std::string>& libraries);

// How much of a file's faces (in bytes of their records) one core formats
// while the other formats the next as much, where a file is written on two
// cores.
inline constexpr size_t kTwoCoreStretch = size_t{512} << 10;

// The data of one file into out, from Begin(path) on, without the Commit: the
// header line, the used v, vt and vn lines, then for each of names (positions
// in ElementNames) the line keyword + name followed by its faces, every line
// ending in CR LF. The heartbeat beats per face and per line.
// two_core_stretch: when not 0, the used lines are marked and the faces
// formatted on two cores, in stretches of about this many bytes of records
// (the same bytes).
void WriteNamesData(const ObjModel& model, const std::vector<uint32_t>& names,
                    const NamesFileStyle& style, std::string_view header, const std::string& path,
                    Renumbering& renumbering, WriteBehind& out, Heartbeat& heartbeat,
                    size_t two_core_stretch = 0);

// WriteNamesData and the Commit: path is written atomically.
void WriteNamesFile(const ObjModel& model, const std::vector<uint32_t>& names,
                    const NamesFileStyle& style, std::string_view header, const std::string& path,
                    Renumbering& renumbering, WriteBehind& out, Heartbeat& heartbeat,
                    size_t two_core_stretch = 0);

// The same, written before it returns.
void WriteNamesFile(const ObjModel& model, const std::vector<uint32_t>& names,
                    const NamesFileStyle& style, std::string_view header, const std::string& path,
                    Renumbering& renumbering);

}  // namespace zelfin
