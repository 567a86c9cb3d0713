#pragma once
// Sampled distances between two triangle meshes: points spread uniformly by
// area over one surface (plus its vertices), each measured exactly to the
// nearest triangle of the other through a bounding-box tree.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace zelfin::bench {

// Positions (x, y, z per vertex) and triangles (three 0-based indices each).
struct TriMesh {
  std::vector<double> xyz;
  std::vector<uint32_t> tri;

  size_t TriangleCount() const { return tri.size() / 3; }
};

// Squared distance from p to the triangle (a, b, c), exact in all its
// regions (inside, beyond an edge, beyond a corner) and for degenerate ones.
double PointTriangleDistance2(const double p[3], const double a[3], const double b[3],
                              const double c[3]);
// The same, with the closest point's barycentric weights w (summing to 1), so
// that attributes can be interpolated there.
double ClosestOnTriangle(const double p[3], const double a[3], const double b[3], const double c[3],
                         double w[3]);

// The nearest point of a surface: squared distance, triangle (its number in
// the mesh the tree was built from) and barycentric weights in it.
struct Nearest {
  double d2;
  uint32_t triangle;
  double w[3];
};

// Nearest-triangle queries. The tree keeps its own copy of the corners.
class TriangleTree {
 public:
  explicit TriangleTree(const TriMesh& mesh);
  // Squared distance from p to the nearest triangle; infinity with none.
  double Distance2(const double p[3]) const { return Closest(p).d2; }
  // The nearest point; d2 infinity and triangle UINT32_MAX with no triangles.
  Nearest Closest(const double p[3]) const;

 private:
  // Inner nodes have count 0 and their children at first and first + 1;
  // leaves hold triangles first .. first + count - 1 of corners_.
  struct Node {
    double lo[3], hi[3];
    uint32_t first, count;
  };
  void Build(uint32_t id, std::vector<uint32_t>& order, const std::vector<double>& centres,
             uint32_t begin, uint32_t end, const TriMesh& mesh);
  static double BoxDistance2(const Node& n, const double p[3]);

  std::vector<Node> nodes_;
  std::vector<double> corners_;  // 9 per triangle, in leaf order
  std::vector<uint32_t> ids_;    // the triangles' numbers in the mesh, in leaf order
};

// A point of a mesh's surface as a triangle and barycentric weights.
struct SurfacePoint {
  uint32_t triangle;
  double w[3];
};

// `count` points spread uniformly by area: one in each of `count` equal
// shares of the total area, at a random place within it, so the spread is
// even and the points follow the triangles' order.
std::vector<SurfacePoint> SpreadByArea(const TriMesh& mesh, size_t count, uint64_t seed);

// The points of SpreadByArea, then every vertex that a triangle uses. x, y, z
// per point.
std::vector<double> SamplePoints(const TriMesh& mesh, size_t count, uint64_t seed);

// The distances from the points to the tree's surface.
struct OneSided {
  double max2 = 0;  // largest squared distance
  double sum2 = 0;  // sum of squared distances
  size_t count = 0;
};
// On `threads` threads; the result does not depend on their number.
OneSided MeasureDistances(const std::vector<double>& points, const TriangleTree& tree, int threads);

// Hausdorff distance (the larger one-sided maximum) and root mean square
// over both sample sets.
struct Symmetric {
  double hausdorff = 0, rms = 0;
};
Symmetric Combine(const OneSided& ab, const OneSided& ba);

// A mesh with its tree and its sample points (SamplePoints).
struct Surface {
  TriMesh mesh;
  TriangleTree tree;
  std::vector<double> samples;

  Surface(TriMesh m, size_t count, uint64_t seed)
      : mesh(std::move(m)), tree(mesh), samples(SamplePoints(mesh, count, seed)) {}
};

// Both ways: a's samples to b's surface and b's to a's.
Symmetric Compare(const Surface& a, const Surface& b, int threads);

// The length of the diagonal of the points' bounding box (x, y, z per point).
double Diagonal(const std::vector<double>& xyz);

}  // namespace zelfin::bench
