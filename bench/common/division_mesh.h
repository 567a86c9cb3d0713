#pragma once
// The division benchmarks' input: a grid mesh with full face corners whose
// faces come in interleaved stretches of many materials.
#include <cstdint>
#include <string>

namespace zelfin::bench {

// Writes a side x side grid of vertices as side^2 v, vt and vn lines each,
// then two triangles per cell ("f a/a/a b/b/b c/c/c"), their faces in
// stretches of 100 that cycle through `materials` materials (usemtl
// material_<n>), and in stretches of 100 that begin 50 faces later cycling
// through as many groups (g group_<n>). Always the same file for the same arguments; side 1000 gives
// about 200 MiB.
void WriteDivisionMesh(const std::string& path, uint64_t side, uint64_t materials);

// The number of triangles WriteDivisionMesh writes for side.
inline uint64_t DivisionMeshTriangles(uint64_t side) {
  return side < 2 ? 0 : 2 * (side - 1) * (side - 1);
}

}  // namespace zelfin::bench
