// The pair table of meshes large enough that the pairs are evaluated on two
// threads, checked against a plain rebuild: first-discovery order found with
// a map, Active from the number of triangles per edge, every entry evaluated
// again one by one on its own copy of the mesh.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "core_test_util.h"
#include "mesh_gen.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_loader.h"

namespace zelfin {
namespace {

bool SameBits(const TDietPair& x, const TDietPair& y) {
  return x.Active == y.Active && x.VertLo == y.VertLo && x.VertHi == y.VertHi &&
         std::memcmp(&x.Cost, &y.Cost, sizeof x.Cost) == 0 &&
         std::memcmp(&x.Pos, &y.Pos, sizeof x.Pos) == 0 &&
         std::memcmp(&x.Q, &y.Q, sizeof x.Q) == 0;
}

void CheckPairTable(const std::string& text) {
  testing_util::ScratchDir dir;
  DietMesh mesh;
  LoadDietMesh(dir.Write("big.obj", text), mesh);
  SilentProgress silent;
  AnalyzeVertices(mesh, silent);
  AnalyzePairs(mesh, silent);

  std::map<std::pair<int32_t, int32_t>, std::pair<int32_t, int>> edges;  // -> (index, meetings)
  std::vector<std::pair<int32_t, int32_t>> order;
  for (const TDietFace& f : mesh.DietFaces) {
    for (int e = 0; e < 3; ++e) {
      int32_t a = f.Verts[e], b = f.Verts[(e + 1) % 3];
      if (b < a) std::swap(a, b);
      auto [it, fresh] = edges.try_emplace({a, b}, static_cast<int32_t>(order.size()), 0);
      if (fresh) order.push_back({a, b});
      ++it->second.second;
    }
  }
  ASSERT_EQ(mesh.DietPairs.size(), order.size());
  ASSERT_GT(order.size(), 20u * 8192u);  // stretches big enough to be shared out
  DietMesh single = mesh;
  for (size_t i = 0; i < order.size(); ++i) {
    EvaluatePair(single, static_cast<int32_t>(i), order[i].first, order[i].second);
    single.DietPairs[i].Active = edges[order[i]].second >= 2;
    ASSERT_TRUE(SameBits(mesh.DietPairs[i], single.DietPairs[i])) << "pair " << i;
  }
}

TEST(PairAnalysisLarge, SameTableAsOneByOneEvaluation) {
  CheckPairTable(gen::PlainObj(gen::LargeClosedMesh(7, 130000)));
  gen::GenMesh open = gen::HeightField(3, 260, 260, 0.05, false);
  CheckPairTable(gen::PlainObj(open));
}

}  // namespace
}  // namespace zelfin
