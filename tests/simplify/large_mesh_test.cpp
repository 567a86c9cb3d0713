// Meshes large enough that the loader and the pair analysis share their work
// out between two threads. The pair table is checked against a plain rebuild:
// first-discovery order found with a map, Active from the number of triangles
// per edge, every entry evaluated again one by one on its own copy of the
// mesh. The loader's box and its errors must be those of one pass in order.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/progress_sink.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_loader.h"
#include "support/error_text.h"
#include "support/mesh_gen.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

bool SameBits(const TDietPair& x, const TDietPair& y) {
  return x.Active == y.Active && x.VertLo == y.VertLo && x.VertHi == y.VertHi &&
         std::memcmp(&x.Cost, &y.Cost, sizeof x.Cost) == 0 &&
         std::memcmp(&x.Pos, &y.Pos, sizeof x.Pos) == 0 && std::memcmp(&x.Q, &y.Q, sizeof x.Q) == 0;
}

void CheckPairTable(const std::string& text) {
  test::TempDir dir;
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

// A grid of vertex lines, then one triangle; extremes and faults are placed
// by line number.
std::string BigVertexFile(int lines, int low_at, int high_at, int bad_at, const char* bad) {
  std::string text;
  for (int i = 1; i <= lines; ++i) {
    if (i == bad_at) {
      text += bad;
    } else if (i == low_at) {
      text += "v -7 -3 -1";
    } else if (i == high_at) {
      text += "v 9 5 2";
    } else {
      text += "v " + std::to_string(i % 7) + " " + std::to_string(i % 5) + " " +
              std::to_string(i % 3 - 1) + ".5";
    }
    text += '\n';
  }
  return text + "f 1 2 3\n";
}

TEST(LoaderLarge, BoxAndFirstFaultAreThoseOfOnePassInOrder) {
  test::TempDir dir;
  const int n = 100000;
  for (const auto& [low, high] :
       {std::pair{10, 20}, std::pair{90000, 95000}, std::pair{5, 99999}}) {
    DietMesh mesh;
    LoadDietMesh(dir.Write("box.obj", BigVertexFile(n, low, high, 0, "")), mesh);
    ASSERT_EQ(mesh.DietVerts.size(), static_cast<size_t>(n));
    // The longest axis spans exactly -1 to 1.
    EXPECT_EQ(mesh.DietVerts[low - 1].Pos.X, -1.0) << low;
    EXPECT_EQ(mesh.DietVerts[high - 1].Pos.X, 1.0) << high;
  }
  const auto message = [&](const std::string& text) {
    DietMesh mesh;
    return test::ErrorText<ZelfinError>([&] { LoadDietMesh(dir.Write("bad.obj", text), mesh); });
  };
  std::string text = BigVertexFile(n, 0, 0, 95000, "v 1e999 0 0");
  EXPECT_NE(message(text).find("Floating point overflow on line 95000 "), std::string::npos);
  text = BigVertexFile(n, 0, 0, 95000, "v 1");
  text.replace(text.find("\n") + 1, 0, "v 1 2\n");  // line 2, in the first half
  EXPECT_NE(message(text).find("List index out of bounds (3) on line 2 "), std::string::npos)
      << message(text);
}

// The names, vt lines and relative references in force where a piece of the
// text begins come from the pieces before it, whichever thread read them:
// what one pass in order makes of them. (Three pieces of some 9 MiB each.)
TEST(LoaderLarge, AttributesCarryAcrossPieces) {
  const std::string filler = "#" + std::string(1000, 'x') + "\n";
  std::string block;
  while (block.size() < (size_t{9} << 20)) block += filler;
  const std::string text = "usemtl A\nvt 0.5 0.5\nv 0 0 0\nv 1 0 0\nv 0 1 0\n" + block +
                           "usemtl B\nvt 0.25 0.25\n" + block + "f 1/1 2/-1 3/1\n" + block +
                           "g second\nf 1/2 2/2 3/2\nusemtl A\nf 1 2 -1\n";
  DietRun run;
  LoadedMesh loaded;
  SilentProgress silent;
  LoadWants wants;
  wants.attributes = true;
  LoadDietRun(text, "pieces.obj", silent, wants, run, loaded);
  const LoadedAttributes& a = loaded.attributes;
  ASSERT_EQ(run.faces.size(), 3u);
  EXPECT_EQ(a.materials, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(a.tri_material, (std::vector<int32_t>{1, 1, 0}));
  EXPECT_EQ(a.tri_group, (std::vector<int32_t>{-1, 0, 0}));
  EXPECT_EQ(a.tri_uv[0], (std::array<int32_t, 3>{0, 1, 0}));
  EXPECT_EQ(a.tri_uv[1], (std::array<int32_t, 3>{1, 1, 1}));
}

}  // namespace
}  // namespace zelfin
