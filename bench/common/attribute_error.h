#pragma once
// How well a simplified textured mesh keeps its input's texture coordinates,
// normals, materials and UV islands, measured at points spread by area over
// the output and compared with the input at the nearest input point.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/mesh_distance.h"
#include "support/mesh_gen.h"

namespace zelfin::bench {

struct AttributeErrors {
  bool has_uv = false;       // both meshes have a texture coordinate at every corner
  bool has_normals = false;  // both have a normal at every corner
  // Distance between the output's interpolated UV and the input's, in UV
  // units: fractions of the side of the UV square.
  double uv_mean = 0, uv_max = 0;
  // Angle between the interpolated normals, in degrees.
  double normal_mean = 0, normal_p99 = 0;
  size_t merged = 0;  // output triangles whose corners' UVs lie in different input islands
};

// The input once, measured against any number of outputs.
class AttributeReference {
 public:
  // Keeps a reference to `input`, which must outlive it.
  explicit AttributeReference(const gen::TexturedMesh& input);

  // `samples` points spread by area over the output (seeded), each compared
  // with the nearest point of the input. Near a UV seam the input has two
  // UVs; the one that counts is that of the output triangle's own island:
  // the nearest point is sought among that island's triangles only, so a
  // point just across the seam does not count as half the UV square away.
  AttributeErrors Measure(const gen::TexturedMesh& output, size_t samples, uint64_t seed,
                          int threads) const;

  // How many of the input's materials name an output triangle; -1 when the
  // output has no materials.
  int MaterialsKept(const gen::TexturedMesh& output) const;

  size_t IslandCount() const { return islands_.size(); }

 private:
  struct Island {
    TriangleTree tree;
    std::vector<uint32_t> triangle;  // the tree's triangles' numbers in the input
  };

  // The input island whose UV triangles lie nearest (u, v).
  uint32_t IslandAt(const double uv[2]) const;
  // Per output triangle its island (that of most of its corners), counting
  // those whose corners disagree.
  std::vector<uint32_t> OutputIslands(const gen::TexturedMesh& output, size_t& merged) const;

  const gen::TexturedMesh& input_;
  std::vector<uint32_t> island_of_;  // per input triangle
  TriangleTree uv_tree_;             // the input's triangles in UV space, at z = 0
  TriangleTree whole_;               // the input's surface, when the output has no UVs
  std::vector<Island> islands_;
};

// Per triangle its UV island: triangles sharing a texture coordinate are in
// one island. `count` is set to the number of islands.
std::vector<uint32_t> UvIslands(const gen::TexturedMesh& mesh, size_t& count);

// The mesh's positions and triangles.
TriMesh Geometry(const gen::TexturedMesh& mesh);

}  // namespace zelfin::bench
