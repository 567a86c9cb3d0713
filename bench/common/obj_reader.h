#pragma once
// A fast reader of the v and f lines of an OBJ file, shared by the peer
// program meshopt_obj and the distance measurements.
#include <cstdint>
#include <string>
#include <vector>

namespace zelfin::bench {

// Positions (x, y, z per v line, in file order) and triangles (three 0-based
// indices each; polygons cut into fans around their first corner).
template <class Real>
struct ObjMesh {
  std::vector<Real> xyz;
  std::vector<uint32_t> tri;

  size_t VertexCount() const { return xyz.size() / 3; }
  size_t TriangleCount() const { return tri.size() / 3; }
};

// Reads the file in blocks, so that its text never sits in memory whole.
// Corners may be written "v", "v/t", "v//n" or "v/t/n"; negative indices
// count back from the latest v line. Lines other than v and f are skipped, and
// so are faces of fewer than three corners. Returns false with a message on
// unreadable files, short v lines, bad numbers, and indices that name no v line.
template <class Real>
bool ReadObj(const std::string& path, ObjMesh<Real>& mesh, std::string& error);

extern template bool ReadObj(const std::string&, ObjMesh<float>&, std::string&);
extern template bool ReadObj(const std::string&, ObjMesh<double>&, std::string&);

}  // namespace zelfin::bench
