#pragma once
// Faults a simplification can bring into a surface that distances do not
// show: triangles turned over against the input, and edges shared by more
// than two triangles where the input has none.
#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "common/mesh_distance.h"

namespace zelfin::bench {

// The output's triangles whose normal points against that of the input
// triangle nearest their centre (negative dot product); triangles without
// area on either side count as neither. `tree` is built from `input`.
size_t CountFoldOvers(const TriMesh& output, const TriMesh& input, const TriangleTree& tree);

// The input's edges with more than two triangles, its vertices welded by
// exact position, so that the output's can be told apart from them.
class NonManifoldEdges {
 public:
  explicit NonManifoldEdges(const TriMesh& input);

  size_t InputCount() const { return edges_.size(); }
  // The output's edges with more than two triangles (vertices welded by exact
  // position) whose two ends are not input positions joined by such an edge.
  size_t CountNew(const TriMesh& output) const;

 private:
  struct Hash {
    size_t operator()(const std::array<double, 3>& p) const;
  };
  using Ids = std::unordered_map<std::array<double, 3>, uint32_t, Hash>;

  // One id per distinct position of `mesh`: from ids_ where the input has
  // the position, new ones past the input's otherwise.
  std::vector<uint32_t> Weld(const TriMesh& mesh, Ids& ids) const;

  Ids ids_;                      // the input's positions
  std::vector<uint64_t> edges_;  // sorted: low id << 32 | high id
};

}  // namespace zelfin::bench
