#pragma once
// The texture coordinates, normals and materials of a refined run, kept
// through the contractions.
//
// Every triangle corner carries a wedge: the texture coordinate, normal and
// material that it has at its vertex. A vertex whose corners all carry one
// wedge is inside an attribute region; one with several lies on an attribute
// border (a UV seam, a hard edge, a material border), which moves only along
// itself (diet_borders.h).
//
// The cost of a merge adds to the position quadric the error of the merged
// wedges' attributes (after Hoppe 1999: each face's attribute is a linear
// function over its plane, and a wedge's error at a position is the
// area-weighted squared difference between those functions and the one value
// the merged wedge takes there, which is their area-weighted mean).
#include <array>
#include <cstdint>
#include <vector>

#include "simplify/diet_adjacency.h"
#include "simplify/diet_attribute_reader.h"
#include "simplify/diet_model.h"
#include "simplify/diet_run.h"

namespace zelfin {

// The attributes of a wedge: u, v, and the normal's x, y, z.
inline constexpr int kAttributes = 5;

// The moments of one wedge's faces from which its attribute error at any
// position follows; in the weighted units of the position error.
struct AttributeQuadric {
  double area = 0;
  double g[kAttributes][3] = {};   // sum of area * gradient
  double d[kAttributes] = {};      // sum of area * offset
  double gg[kAttributes][6] = {};  // sum of area * gradient gradient^T (upper triangle)
  double dg[kAttributes][3] = {};  // sum of area * offset * gradient
  double dd[kAttributes] = {};     // sum of area * offset^2
};

// A merge of two wedges: `keep` takes the place of `gone` in every corner.
struct WedgeMerge {
  int32_t keep, gone;
};

// The wedge merges of one contraction: one per face of the contracted edge
// whose ends carry different wedges (at most two), none without attributes.
struct WedgeMerges {
  WedgeMerge merge[2];
  int count = 0;
  bool fixed = false;  // the target is the place of a border vertex: its wedges keep their values
};

struct AttributeRun {
  // Per face, parallel to the run's faces.
  std::vector<std::array<int32_t, 3>> face_wedges;
  std::vector<std::array<uint8_t, 3>> face_parts;  // bit 0 vt written, bit 1 vn written
  std::vector<int32_t> face_material, face_group, face_smoothing;
  // Per wedge: the values (u, v, nx, ny, nz), which of them it has (bit 0 uv,
  // bit 1 normal), its quadric.
  std::vector<std::array<double, kAttributes>> values;
  std::vector<uint8_t> has;
  std::vector<AttributeQuadric> quadrics;
  // What the writer copies.
  std::vector<std::string> libraries, materials, groups, smoothing;
};

// The wedges of the loaded triangles and their quadrics, from the run's
// normalised positions (before any contraction).
AttributeRun BuildAttributes(const DietRun& run, LoadedAttributes&& loaded);

// The attribute error of a merge of two wedges whose vertex goes to pos.
double WedgeMergeError(const AttributeRun& attributes, const WedgeMerge& merge,
                       const TDietVec& pos);

// After the faces of the contracted pair moved to the survivor b: the wedges
// merge, and b's faces name the kept ones.
void MergeWedges(const VertexAdjacency& adjacency, const WedgeMerges& merges, const TDietVec& pos,
                 int32_t b, AttributeRun& attributes);

}  // namespace zelfin
