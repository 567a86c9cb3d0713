#include <algorithm>
#include <cstdint>
#include <memory>

#include <utility>
#include <vector>

#include "platform/heartbeat.h"
#include "platform/huge_pages.h"
#include "platform/progress_marks.h"
#include "platform/two_halves.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_pair_costs.h"
#include "simplify/diet_tables.h"

namespace zelfin {

namespace {

constexpr int kEdgeCorners[3][2] = {{0, 1}, {1, 2}, {2, 0}};

// The pair index of every face edge, slot 3j + e for edge e of face j (-1 for
// an edge of one vertex twice), numbered in order of first discovery; and how
// many distinct edges there are. Edges are grouped by their lower vertex, so
// finding an edge met before is a look along a few entries, not a hash probe.
// The tables are left unfilled when made (every entry is written before it
// is read): filling hundreds of megabytes with zeros first would only cost
// time in one piece.
std::unique_ptr<int32_t[]> NumberFaceEdges(const std::vector<FaceCorners>& faces,
                                           size_t vertex_count, int32_t& count,
                                           Heartbeat& heartbeat) {
  const size_t slots = faces.size() * 3;
  std::unique_ptr<int32_t[]> edge_pair = HugeArray<int32_t>(slots);
  std::vector<int64_t> start = HugeTable<int64_t>(vertex_count + 1);
  auto ends = [&](size_t j, int e, int32_t& lo, int32_t& hi) {
    lo = FaceCorner(faces[j], kEdgeCorners[e][0]);
    hi = FaceCorner(faces[j], kEdgeCorners[e][1]);
    if (hi < lo) std::swap(lo, hi);
  };
  for (size_t j = 0; j < faces.size(); ++j) {
    heartbeat.Beat();
    for (int e = 0; e < 3; ++e) {
      int32_t lo, hi;
      ends(j, e, lo, hi);
      if (lo != hi) ++start[static_cast<size_t>(lo) + 1];
    }
  }
  for (size_t v = 0; v < vertex_count; ++v) start[v + 1] += start[v];
  struct Entry {
    int32_t hi;
    int32_t slot;
  };
  const std::unique_ptr<Entry[]> entries =
      HugeArray<Entry>(static_cast<size_t>(start[vertex_count]));
  {
    std::vector<int64_t> fill = HugeCopy(start.begin(), start.end() - 1);
    for (size_t j = 0; j < faces.size(); ++j) {
      heartbeat.Beat();
      for (int e = 0; e < 3; ++e) {
        int32_t lo, hi;
        ends(j, e, lo, hi);
        const int32_t slot = static_cast<int32_t>(j * 3 + static_cast<size_t>(e));
        if (lo == hi) {
          edge_pair[static_cast<size_t>(slot)] = -1;
          continue;
        }
        entries[static_cast<size_t>(fill[static_cast<size_t>(lo)]++)] = {hi, slot};
      }
    }
  }
  // Within a group the slots ascend: the first entry of an edge is its first
  // meeting. Every slot first points at the slot of that first meeting ...
  for (size_t v = 0; v < vertex_count; ++v) {
    heartbeat.Beat();
    Entry* group = entries.get() + start[v];
    const int64_t n = start[v + 1] - start[v];
    if (n > 16) {
      // A vertex of many edges: sort by (hi, slot) so each edge's run starts
      // with its first meeting.
      std::sort(group, group + n, [](const Entry& x, const Entry& y) {
        return x.hi < y.hi || (x.hi == y.hi && x.slot < y.slot);
      });
      for (int64_t k = 0; k < n; ++k) {
        const bool starts_run = k == 0 || group[k].hi != group[k - 1].hi;
        edge_pair[static_cast<size_t>(group[k].slot)] =
            starts_run ? group[k].slot : edge_pair[static_cast<size_t>(group[k - 1].slot)];
      }
      continue;
    }
    for (int64_t k = 0; k < n; ++k) {
      int64_t first = 0;
      while (group[first].hi != group[k].hi) ++first;
      edge_pair[static_cast<size_t>(group[k].slot)] = group[first].slot;
    }
  }
  // ... and then, in slot order, first meetings take the next index and later
  // meetings copy the index of their first one, which stands before them.
  count = 0;
  for (size_t slot = 0; slot < slots; ++slot) {
    if (slot % 3 == 0) heartbeat.Beat();
    const int32_t first = edge_pair[slot];
    if (first < 0) continue;
    edge_pair[slot] =
        static_cast<size_t>(first) == slot ? count++ : edge_pair[static_cast<size_t>(first)];
  }
  return edge_pair;
}

// Prices the pairs first..last-1, whose ends are set, with their ends'
// states; each stays inactive (first met: a second meeting makes it a
// candidate). Each reads only states and writes its own entry, so the range
// is shared out between two threads; the results are the same bits either way.
void PriceNewPairs(DietRun& run, int32_t first, int32_t last, bool priced_here,
                   Heartbeat& heartbeat) {
  // Only the calling thread's share beats: the window belongs to it.
  const auto price = [&run, priced_here](int32_t from, int32_t to, Heartbeat* beat) {
    constexpr int32_t kBatch = 64;
    PairEnds ends[kBatch];
    double cost[kBatch] = {};
    for (int32_t i = from; i < to; i += kBatch) {
      const int32_t n = std::min(kBatch, to - i);
      for (int32_t b = 0; b < n; ++b) ends[b] = run.pairs[static_cast<size_t>(i + b)].ends;
      if (priced_here) PairCosts(run.q.data(), run.pos.data(), ends, static_cast<size_t>(n), cost);
      for (int32_t b = 0; b < n; ++b) {
        if (beat) beat->Beat();
        PairSlot& pair = run.pairs[static_cast<size_t>(i + b)];
        pair.priced = {static_cast<uint32_t>(ends[b].lo), static_cast<uint32_t>(ends[b].hi)};
        pair.cost = cost[b];
        pair.ends.lo = ~ends[b].lo;
      }
    }
  };
  constexpr int32_t kWorthAThread = 4096;
  if (last - first < kWorthAThread) {
    price(first, last, &heartbeat);
    return;
  }
  const int32_t middle = first + (last - first) / 2;
  RunHalvesTogether([&] { price(first, middle, &heartbeat); },
                    [&] { price(middle, last, nullptr); }, [&] { heartbeat.Beat(4096); });
}

// Enters the pairs first met in faces [j, end) in order of discovery.
void EnterNewPairs(const std::vector<FaceCorners>& faces, const int32_t* edge_pair, int64_t j,
                   int64_t end, DietRun& run, Heartbeat& heartbeat) {
  for (int64_t f = j; f < end; ++f) {
    // The tables grow into fresh pages here, which the kernel may take a
    // while to give: a beat per face keeps the window's turns coming.
    heartbeat.Beat();
    for (int e = 0; e < 3; ++e) {
      const int32_t k = edge_pair[static_cast<size_t>(f * 3 + e)];
      if (k != static_cast<int32_t>(run.pairs.size())) continue;  // no pair, or one met before
      int32_t a = FaceCorner(faces[static_cast<size_t>(f)], kEdgeCorners[e][0]);
      int32_t b = FaceCorner(faces[static_cast<size_t>(f)], kEdgeCorners[e][1]);
      if (b < a) std::swap(a, b);
      run.pairs.push_back({{a, b}, {0, 0}, 0});
    }
  }
}

// Every edge of faces [j, end) met again makes its pair a candidate; the first
// meetings are those of the pairs from first_new on, in order.
void MarkMetAgain(const int32_t* edge_pair, int64_t j, int64_t end, int32_t first_new,
                  std::vector<PairSlot>& pairs) {
  int32_t seen = first_new;
  for (int64_t f = j; f < end; ++f) {
    for (int e = 0; e < 3; ++e) {
      const int32_t k = edge_pair[static_cast<size_t>(f * 3 + e)];
      if (k < 0) continue;
      if (k == seen) {
        ++seen;  // its first meeting
      } else {
        PairEnds& p = pairs[static_cast<size_t>(k)].ends;
        p.lo = PairLo(p);
      }
    }
  }
}

}  // namespace

EdgeNumbers NumberEdges(const DietRun& run, Heartbeat& heartbeat) {
  EdgeNumbers edges;
  edges.of_slot = NumberFaceEdges(run.faces, run.VertexCount(), edges.count, heartbeat);
  return edges;
}

void AnalyzePairs(DietRun& run, ProgressSink& progress, bool price) {
  Heartbeat heartbeat(progress);
  AnalyzePairs(run, NumberEdges(run, heartbeat), progress, price);
}

void AnalyzePairs(DietRun& run, EdgeNumbers edges, ProgressSink& progress, bool price) {
  const int64_t F = static_cast<int64_t>(run.faces.size());
  ProgressMarks marks(F, 1, 25, 25);
  Heartbeat heartbeat(progress);
  const int32_t count = edges.count;
  const std::unique_ptr<int32_t[]> edge_pair = std::move(edges.of_slot);
  // The table is sized to the distinct edges at once, never to three per face
  // (unless the caller has).
  run.pairs.clear();
  if (run.pairs.capacity() < static_cast<size_t>(count)) {
    run.pairs = std::vector<PairSlot>();
    ReserveHuge(run.pairs, static_cast<size_t>(count));
  }

  // The faces go in stretches that end at the progress marks. In each: the
  // new pairs are entered in order of discovery and priced, and then every
  // edge met again makes its pair a candidate; so the table is the one that
  // pricing each pair at its discovery gives.
  int64_t j = 0;
  while (j < F) {
    const int64_t end = marks.Next() < F ? marks.Next() + 1 : F;  // the mark's face closes it
    const int32_t first_new = static_cast<int32_t>(run.PairCount());
    EnterNewPairs(run.faces, edge_pair.get(), j, end, run, heartbeat);
    PriceNewPairs(run, first_new, static_cast<int32_t>(run.PairCount()), price, heartbeat);
    MarkMetAgain(edge_pair.get(), j, end, first_new, run.pairs);
    j = end;
    if (marks.Due(j - 1)) marks.Report(j - 1, progress);
  }
}

void AnalyzePairs(DietMesh& mesh, ProgressSink& progress) {
  DietRun run = RunFromTables(mesh, false);
  AnalyzePairs(run, progress);
  RunToTables(run, mesh);
}

}  // namespace zelfin
