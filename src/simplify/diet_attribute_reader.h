#pragma once
// What the refined method keeps of an OBJ file besides its positions and
// faces: texture coordinates, normals, materials, groups, smoothing groups
// and material libraries. The loader hands it the lines it does not read itself and the
// corners of the faces; it resolves the corners' vt and vn references with
// the division's rules and messages.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "simplify/diet_model.h"

namespace zelfin {

struct LoadedAttributes {
  bool any = false;                            // the file holds something of these to keep
  std::vector<std::string> libraries;          // the mtllib lines, tabs as spaces
  std::vector<std::string> materials, groups;  // names by first appearance
  std::vector<std::string> smoothing;          // s values as written, by first appearance
  std::vector<std::array<double, 2>> uvs;      // per vt line
  std::vector<TDietVec> normals;               // per vn line
  // Per stored triangle: its corners' vt and vn lines (0-based, -1 none), the
  // parts each corner was written with (bit 0 vt, bit 1 vn), and its face's
  // material, group and smoothing group (-1 none).
  std::vector<std::array<int32_t, 3>> tri_uv, tri_normal;
  std::vector<std::array<uint8_t, 3>> tri_parts;
  std::vector<int32_t> tri_material, tri_group, tri_smoothing;
};

class AttributeReader {
 public:
  // For a reader of a later piece of the file: what is in force at its
  // start (material, group, smoothing group, the vt and vn lines before it)
  // is not known until the piece before it is joined to it (Join).
  void StartLater();

  // Appends what `later` read of the piece right after this reader's: its
  // names and lines after these, its faces with what was in force at its
  // start taken from here. The result is the same as reading both pieces
  // with this reader, one after the other.
  void Join(AttributeReader&& later);

  // A line that is not a v or f line: a vt, vn, usemtl, g, s or mtllib line
  // is kept, any other is ignored.
  void Line(std::string_view line);

  // A face line of three or more corners (its tokens, keyword first), in
  // file order.
  void Face(const std::vector<std::string_view>& tokens);

  // A vt or vn reference that names no line: corner `corner` of the face,
  // part kind 1 (vt) or 2 (vn), and what the message says of it.
  struct BadReference {
    size_t corner = 0;
    int kind = 0;
    int64_t index = 0;
    uint64_t before = 0, total = 0;
  };

  // Stored face line `face` (counted from 0, in file order): turns its vt
  // and vn references into line numbers; false, with the first one that
  // names no line, when there is one.
  bool Resolve(int64_t face, BadReference& bad);

  // The fan triangle of corners (0, k - 1, k) of a resolved face was stored.
  void AddTriangle(int64_t face, size_t k);

  // Whether the file holds something of these to keep so far.
  bool Any() const { return out_.any; }

  // Room for the attributes of n stored triangles.
  void ReserveTriangles(size_t n);

  LoadedAttributes Take() { return std::move(out_); }

 private:
  // material, group, vt and vn lines before the face, smoothing group
  static constexpr size_t kHead = 5;
  static constexpr size_t kCorner = 3;  // vt reference, vn reference, parts
  // A later piece's material, group or smoothing group in force before its
  // first line that names one.
  static constexpr int32_t kFromBefore = -2;

  LoadedAttributes out_;
  std::vector<std::string_view> tokens_;  // of the vt or vn line being read
  std::string scratch_;
  std::unordered_map<std::string, int32_t> material_ids_, group_ids_, smoothing_ids_;
  int32_t material_ = -1, group_ = -1, smoothing_ = -1;
  // The plain faces stored at last as every other face: heads with the names
  // in force now (unchanged since those faces), corners without references.
  void StorePlainFaces();

  // Per face, where its words start in words_: the head, then kCorner per
  // corner. A reference is stored as written (0 none); once resolved, as the
  // 0-based line, or -1 for none.
  std::vector<size_t> face_start_;
  std::vector<int32_t> words_;
  // The faces read while the piece has nothing to keep (before any of its
  // usemtl, g, s or mtllib lines and any vt or vn reference), by corner
  // count only: most scans never leave that state, and their faces then need
  // no words at all. They are stored in words_ once something comes.
  std::vector<uint32_t> plain_corners_;
};

}  // namespace zelfin
