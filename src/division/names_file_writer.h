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
// order), and the store of corners read while marking. Sized once, reused by
// every file. Aligned to a cache line, since two threads use one each.
struct alignas(64) Renumbering {
  explicit Renumbering(const ObjModel& model);
  std::vector<UsedSet> used;
  // Corners read while marking are kept for the rewrite, up to this many
  // 32-bit words per file; faces beyond it are read a second time instead.
  size_t cache_words = size_t{4} << 20;
  std::vector<uint32_t> cache;
};

// The data of one file into out, from Begin(path) on, without the Commit: the
// header line, the used v, vt and vn lines, then for each of names (positions
// in ElementNames) the line keyword + name followed by its faces, every line
// ending in CR LF. The heartbeat beats per face and per line.
void WriteNamesData(const ObjModel& model, const std::vector<uint32_t>& names,
                    std::string_view keyword, std::string_view header, const std::string& path,
                    Renumbering& renumbering, WriteBehind& out, Heartbeat& heartbeat);

// WriteNamesData and the Commit: path is written atomically.
void WriteNamesFile(const ObjModel& model, const std::vector<uint32_t>& names,
                    std::string_view keyword, std::string_view header, const std::string& path,
                    Renumbering& renumbering, WriteBehind& out, Heartbeat& heartbeat);

// The same, written before it returns.
void WriteNamesFile(const ObjModel& model, const std::vector<uint32_t>& names,
                    std::string_view keyword, std::string_view header, const std::string& path,
                    Renumbering& renumbering);

}  // namespace zelfin
