#include "simplify/surface_deviation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/progress_sink.h"
#include "support/mesh_gen.h"

namespace zelfin {
namespace {

TriMesh Triangles(const gen::GenMesh& g) {
  TriMesh m;
  m.xyz = g.xyz;
  size_t at = 0;
  for (const uint8_t s : g.face_size) {
    for (uint8_t k = 2; k < s; ++k) {
      m.tri.insert(m.tri.end(), {g.corners[at], g.corners[at + k - 1], g.corners[at + k]});
    }
    at += s;
  }
  return m;
}

// The tree finds the distance a search of every triangle finds, for points
// near the surface and far off, with and without a first guess.
TEST(TriangleTree, FindsWhatASearchOfAllTrianglesFinds) {
  const TriMesh m = Triangles(gen::BumpySphere(3, 3000));
  const TriangleTree tree(m);
  std::vector<double> points = SamplePoints(m, 400, 7);
  gen::Rng rng(8);
  for (double& x : points) x += rng.Range(-0.02, 0.02);
  for (int i = 0; i < 600; ++i) points.push_back(rng.Range(-1.6, 1.6));
  uint32_t hint = UINT32_MAX;
  for (size_t i = 0; i < points.size(); i += 3) {
    double best = std::numeric_limits<double>::infinity();
    for (size_t t = 0; t < m.tri.size(); t += 3) {
      best = std::min(
          best, PointTriangleDistance2(&points[i], &m.xyz[3 * m.tri[t]], &m.xyz[3 * m.tri[t + 1]],
                                       &m.xyz[3 * m.tri[t + 2]]));
    }
    ASSERT_EQ(tree.Distance2(&points[i]), best) << i;
    ASSERT_EQ(tree.Closest(&points[i], &hint).d2, best) << i;
  }
}

TEST(MeasureDeviation, UntouchedIsZeroAndAShiftIsItsDistance) {
  SilentProgress silent;
  const TriMesh plane = Triangles(gen::FlatGrid(1, 20, 20));
  const Deviation same = MeasureDeviation(plane, plane, silent, true);
  EXPECT_EQ(same.max, 0);
  EXPECT_EQ(same.mean, 0);
  EXPECT_EQ(same.rms, 0);
  EXPECT_DOUBLE_EQ(same.diagonal, std::hypot(20, 20));

  TriMesh moved = plane;
  for (size_t i = 2; i < moved.xyz.size(); i += 3) moved.xyz[i] += 0.375;
  for (const bool numbered_alike : {false, true}) {
    const Deviation d = MeasureDeviation(plane, moved, silent, numbered_alike);
    EXPECT_NEAR(d.max, 0.375, 1e-12);
    EXPECT_NEAR(d.mean, 0.375, 1e-12);
    EXPECT_NEAR(d.rms, 0.375, 1e-12);
  }
}

// A square against a rectangle twice as long, whose far half lies 0 to 10
// away: of the samples on both surfaces a quarter lie there (mean 5, mean
// square 100 / 3), and the rectangle's 110 vertices past the square 1 to 10
// away (11 x 55 in all, squares 11 x 385); 121 + 110 vertices in all.
TEST(MeasureDeviation, MaxMeanAndRmsOfAnUnevenDistance) {
  SilentProgress silent;
  const Deviation d = MeasureDeviation(Triangles(gen::FlatGrid(1, 10, 10)),
                                       Triangles(gen::FlatGrid(1, 20, 10)), silent);
  const double n = static_cast<double>(DeviationSamples(200)), count = 2 * n + 231;
  EXPECT_NEAR(d.max, 10, 1e-12);
  EXPECT_NEAR(d.mean, (n / 2 * 5 + 11 * 55) / count, 0.005);
  EXPECT_NEAR(d.rms, std::sqrt((n / 2 * 100 / 3 + 11 * 385) / count), 0.005);
}

}  // namespace
}  // namespace zelfin
