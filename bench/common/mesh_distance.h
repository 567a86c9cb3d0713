#pragma once
// Sampled distances between two triangle meshes, as the program itself
// measures them (simplify/surface_deviation.h), with the benchmarks' own
// choice of samples: a surface carries its tree and its sample points.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "simplify/surface_deviation.h"

namespace zelfin::bench {

using zelfin::ClosestOnTriangle;
using zelfin::Combine;
using zelfin::Diagonal;
using zelfin::Nearest;
using zelfin::OneSided;
using zelfin::PointTriangleDistance2;
using zelfin::SamplePoints;
using zelfin::SpreadByArea;
using zelfin::SurfacePoint;
using zelfin::Symmetric;
using zelfin::TriangleTree;
using zelfin::TriMesh;

// A mesh with its tree and its sample points (SamplePoints).
struct Surface {
  TriMesh mesh;
  TriangleTree tree;
  std::vector<double> samples;

  Surface(TriMesh m, size_t count, uint64_t seed)
      : mesh(std::move(m)), tree(mesh), samples(SamplePoints(mesh, count, seed)) {}
};

// The distances from the points to the tree's surface, on two threads.
OneSided MeasureDistances(const std::vector<double>& points, const TriangleTree& tree);

// Both ways: a's samples to b's surface and b's to a's.
Symmetric Compare(const Surface& a, const Surface& b);

}  // namespace zelfin::bench
