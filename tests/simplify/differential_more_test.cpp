// The fast contraction's queue and the whole contraction on bigger meshes,
// against plain scans: the sizes at which the queue keeps part of the pairs
// aside only occur on tables larger than the catalogue's.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/progress_sink.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_contraction.h"
#include "simplify/diet_loader.h"
#include "simplify/diet_pair_heap.h"
#include "simplify/reference.h"
#include "support/mesh_gen.h"

namespace zelfin {
namespace {

// What SelectPair's scan would choose among the pairs that are in.
int32_t ScanTop(const std::vector<bool>& in, const std::vector<double>& cost) {
  int32_t best = -1;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] && (best < 0 || cost[i] < cost[static_cast<size_t>(best)])) {
      best = static_cast<int32_t>(i);
    }
  }
  return best;
}

TEST(PairHeapDifferential, TopIsTheScansChoiceThroughRefills) {
  // Small refills reach both pools' bounds and the near pool's compaction.
  const std::pair<size_t, size_t> cases[] = {{600, 1}, {600, 7}, {600, 64}, {5000, 2}};
  for (const auto& [n, min_refill] : cases) {
    gen::Rng rng(17 + min_refill);
    std::vector<bool> in(n, false);
    std::vector<double> cost(n, 0);
    std::vector<PairSlot> slots(n);  // the heap's view of the costs
    PairHeap heap(slots, nullptr, min_refill);
    // Few distinct costs, so that ties on cost are decided by the index,
    // also at the threshold between the heap and the reserve.
    auto draw = [&] { return static_cast<double>(rng.Below(40)) * 0.25; };
    for (size_t i = 0; i < n; ++i) {
      if (rng.Below(4) == 0) continue;
      in[i] = true;
      cost[i] = slots[i].cost = draw();
      // Pairs set before the unordered run must survive Heapify too.
      if (rng.Below(5) == 0) {
        heap.Set(static_cast<int32_t>(i));
      } else {
        heap.AddUnordered(static_cast<int32_t>(i));
      }
    }
    heap.Heapify();
    ASSERT_EQ(heap.Top(), ScanTop(in, cost));
    int checked = 0, seconds = 0;
    for (int step = 0; step < 6000; ++step) {
      const int32_t p = static_cast<int32_t>(rng.Below(n));
      const uint64_t op = rng.Below(10);
      if (op < 2) {
        heap.Remove(p);
        in[static_cast<size_t>(p)] = false;
      } else if (op < 3 && heap.Top() >= 0) {
        // Take the top out, as a contraction does.
        const int32_t top = heap.Top();
        heap.Remove(top);
        in[static_cast<size_t>(top)] = false;
      } else {
        // Mostly rises, as re-priced pairs mostly do; sometimes falls.
        const double c = op < 8 ? cost[static_cast<size_t>(p)] + draw() : draw();
        cost[static_cast<size_t>(p)] = slots[static_cast<size_t>(p)].cost = c;
        heap.Set(p);
        in[static_cast<size_t>(p)] = true;
      }
      ASSERT_EQ(heap.Top(), ScanTop(in, cost)) << "min_refill " << min_refill << ", step " << step;
      // The certain second, where the heap holds one, is the scan's choice
      // once the top is out (a pair in a pool never comes before it).
      const int32_t second = heap.SecondStanding();
      if (second >= 0) {
        std::vector<bool> without_top = in;
        without_top[static_cast<size_t>(heap.Top())] = false;
        ASSERT_EQ(second, ScanTop(without_top, cost)) << "step " << step;
        ++seconds;
      }
      ++checked;
    }
    // Emptied to the last pair, the heap must report that it is empty.
    for (int32_t top = heap.Top(); top >= 0; top = heap.Top()) {
      heap.Remove(top);
      in[static_cast<size_t>(top)] = false;
      ASSERT_EQ(ScanTop(in, cost) < 0, heap.Top() < 0);
    }
    EXPECT_EQ(ScanTop(in, cost), -1);
    EXPECT_EQ(checked, 6000);
    EXPECT_GT(seconds, 1000);
  }
}

// Tables compared field by field; the first difference is reported.
std::string FirstDifference(const DietMesh& ref, const DietMesh& prod) {
  if (ref.DietVerts.size() != prod.DietVerts.size()) return "vertex count";
  if (ref.DietFaces.size() != prod.DietFaces.size()) return "face count";
  if (ref.DietPairs.size() != prod.DietPairs.size()) return "pair count";
  for (size_t i = 0; i < ref.DietVerts.size(); ++i) {
    const TDietVertex &a = ref.DietVerts[i], &b = prod.DietVerts[i];
    if (a.Used != b.Used || a.SameAs != b.SameAs || a.Pos.X != b.Pos.X || a.Pos.Y != b.Pos.Y ||
        a.Pos.Z != b.Pos.Z) {
      return "vertex " + std::to_string(i);
    }
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) {
        if (a.Q.m[r][c] != b.Q.m[r][c]) return "Q of vertex " + std::to_string(i);
      }
    }
  }
  for (size_t j = 0; j < ref.DietFaces.size(); ++j) {
    const TDietFace &a = ref.DietFaces[j], &b = prod.DietFaces[j];
    if (a.Alive != b.Alive || a.Verts[0] != b.Verts[0] || a.Verts[1] != b.Verts[1] ||
        a.Verts[2] != b.Verts[2]) {
      return "face " + std::to_string(j);
    }
  }
  for (size_t i = 0; i < ref.DietPairs.size(); ++i) {
    const TDietPair &a = ref.DietPairs[i], &b = prod.DietPairs[i];
    if (a.Active != b.Active || a.VertLo != b.VertLo || a.VertHi != b.VertHi || a.Cost != b.Cost ||
        a.Pos.X != b.Pos.X || a.Pos.Y != b.Pos.Y || a.Pos.Z != b.Pos.Z) {
      return "pair " + std::to_string(i);
    }
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) {
        if (a.Q.m[r][c] != b.Q.m[r][c]) return "Q of pair " + std::to_string(i);
      }
    }
  }
  return "";
}

// The benchmark's kind of mesh, big enough that the queue keeps most pairs in
// its reserve and refills several times.
TEST(ContractionDifferential, BenchmarkShapedMeshMatchesReference) {
  const gen::GenMesh gm = gen::LargeClosedMesh(5, 9000);
  std::string text = gen::PlainObj(gm);
  DietMesh analysed;
  LoadDietMeshText(text, "torus.obj", analysed);
  SilentProgress silent;
  AnalyzeVertices(analysed, silent);
  AnalyzePairs(analysed, silent);
  ASSERT_GT(analysed.DietPairs.size(), 8192u);
  for (const double keep : {0.5, 0.1}) {
    DietMesh ref = analysed;
    ref::RefContractMesh(ref, keep);
    DietMesh prod = analysed;
    ContractMesh(prod, keep, silent);
    EXPECT_EQ(FirstDifference(ref, prod), "") << "keep " << keep;
  }
}

}  // namespace
}  // namespace zelfin
