#pragma once
// How far one triangle surface lies from another, by sampling: points spread
// uniformly by area over a surface (and its vertices), each measured exactly
// to the nearest triangle of the other surface through a tree of bounding
// boxes. Deterministic: the samples come from a fixed seed, and the sums are
// taken in a fixed order whichever thread measured them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/heartbeat.h"
#include "platform/progress_sink.h"

namespace zelfin {

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

// Nearest-triangle queries. The tree keeps its own copy of the vertices,
// renumbered in the order its leaves use them; the leaves follow the
// triangles' centres along a space-filling curve.
class TriangleTree {
 public:
  TriangleTree() = default;
  explicit TriangleTree(const TriMesh& mesh) : TriangleTree(mesh, Order(mesh)) {}
  // The same with the triangles' order along the curve made beforehand.
  TriangleTree(const TriMesh& mesh, const std::vector<uint64_t>& order);
  // The mesh's triangles along the curve that the leaves follow: a key per
  // triangle, for the constructor.
  static std::vector<uint64_t> Order(const TriMesh& mesh);
  // Squared distance from p to the nearest triangle; infinity with none.
  double Distance2(const double p[3]) const { return Closest(p).d2; }
  // The nearest point; d2 infinity and triangle UINT32_MAX with no triangles.
  Nearest Closest(const double p[3]) const { return Closest(p, nullptr); }
  // The same, trying first the triangle that the last query found (*hint,
  // UINT32_MAX for none), which is near when the points come in order; sets
  // *hint for the next one.
  Nearest Closest(const double p[3], uint32_t* hint) const;
  // The hint that names triangle t of the mesh.
  uint32_t SlotOf(uint32_t t) const { return slots_[t]; }

 private:
  // Inner nodes have count 0 and their children at first and first + 1;
  // leaves hold triangles first .. first + count - 1 of corners_. The box in
  // floats rounded outwards: half the bytes to walk through, and still a box
  // that holds its triangles.
  struct Node {
    float lo[3], hi[3];
    uint32_t first, count;
  };
  void Build(uint32_t id, uint32_t begin, uint32_t end, const std::vector<uint64_t>& keyed);
  static double BoxDistance2(const Node& n, const double p[3]);

  const double* Corner(size_t t, int k) const { return &xyz_[3 * size_t{corners_[3 * t + k]}]; }

  std::vector<Node> nodes_;
  std::vector<double> xyz_;        // the vertices that triangles use, in the order of first use
  std::vector<uint32_t> corners_;  // 3 per triangle, numbers into xyz_, in leaf order
  std::vector<uint32_t> ids_;      // the triangles' numbers in the mesh, in leaf order
  std::vector<uint32_t> slots_;    // per triangle of the mesh, its place in leaf order
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

// The place of a surface point, appended as x, y, z.
void AppendPoint(const TriMesh& mesh, const SurfacePoint& s, std::vector<double>& points);

// The points of SpreadByArea, then (with_vertices) every vertex that a
// triangle uses. x, y, z per point.
std::vector<double> SamplePoints(const TriMesh& mesh, size_t count, uint64_t seed,
                                 bool with_vertices = true);

// The distances from a set of points to a surface.
struct OneSided {
  double max2 = 0;  // largest squared distance
  double sum2 = 0;  // sum of squared distances
  double sum = 0;   // sum of distances
  size_t count = 0;
};
// On two threads, the window having its turns through heartbeat; the result
// does not depend on how the work fell to the threads. near (may be null):
// per point a triangle of the tree's mesh near it to try first, UINT32_MAX
// for none.
OneSided MeasureDistances(const std::vector<double>& points, const TriangleTree& tree,
                          Heartbeat& heartbeat, const std::vector<uint32_t>* near = nullptr);

// Hausdorff distance (the larger one-sided maximum), root mean square and
// mean over both sample sets.
struct Symmetric {
  double hausdorff = 0, rms = 0, mean = 0;
};
Symmetric Combine(const OneSided& ab, const OneSided& ba);

// The length of the diagonal of the points' bounding box (x, y, z per point).
double Diagonal(const std::vector<double>& xyz);

// How far a simplified surface lies from its input, in the meshes' units.
struct Deviation {
  double max = 0;       // sampled two-sided Hausdorff distance
  double mean = 0;      // mean of the sampled distances, both ways
  double rms = 0;       // their root mean square
  double diagonal = 0;  // of the bounding box of every input vertex
  double seconds = 0;   // what measuring took once the output stood
};

// Points on both surfaces: DeviationSamples of the input's triangle count
// spread by area on each, and every vertex of the output; each measured to
// the other surface. Distances
// below a millionth of a millionth of the diagonal are rounding and count as
// none. input.xyz holds every vertex of the input, used or not.
// numbered_alike: the output numbers its vertices as the input does, so that
// an output vertex standing where the input's vertex of its number stands
// (a triangle of the input using it) lies on the input: it counts at distance
// 0 without a search.
inline constexpr size_t kDeviationSamples = 50000;
// 16 per input triangle, at least 1,000 and at most kDeviationSamples.
size_t DeviationSamples(size_t input_triangles);

// What a measurement needs of the input, made before the output exists (a
// simplification makes it beside its contraction): the input, the order of
// its tree, the points spread on it and, for an output numbered alike, the
// first triangle that uses each vertex. The tree itself is made later: it
// would hold its memory through the contraction's peak.
struct InputSide {
  bool numbered_alike = false;  // as the output will be
  TriMesh mesh;
  std::vector<uint64_t> order;  // TriangleTree::Order(mesh)
  double diagonal = 0;
  size_t samples = 0;                  // how many points are spread on each surface
  std::vector<double> points;          // spread by area, x, y, z each
  std::vector<uint32_t> point_vertex;  // numbered alike: per point, its triangle's first corner
  std::vector<uint32_t> first_use;     // numbered alike: per vertex, UINT32_MAX for none
};
InputSide MeasureInputSide(TriMesh input, bool numbered_alike);

// The meshes are given up as soon as their trees stand.
Deviation MeasureDeviation(TriMesh input, TriMesh output, ProgressSink& progress,
                           bool numbered_alike = false);
// The same with the input's side made beforehand; its time is not counted in
// Deviation::seconds.
Deviation MeasureDeviation(InputSide input, TriMesh output, ProgressSink& progress);

}  // namespace zelfin
