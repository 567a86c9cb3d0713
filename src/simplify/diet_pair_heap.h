#pragma once
// The candidate pairs ordered by (Cost, pair index): its top is exactly the
// pair that a scan for the least cost, lowest index on ties, would choose.
//
// Only the cheapest part of the candidates is kept in a heap; the others wait
// unordered in two pools: the next cheapest in a near pool, the rest in a
// reserve, each pool at or above a threshold key that everything before it
// is below. Most re-priced pairs rise above the heap's threshold and so cost
// no heap work at all. When the heap runs dry, the cheapest part of the near
// pool is picked out and becomes the heap, under a higher threshold; when the
// near pool runs dry, the cheapest part of the reserve becomes the near pool.
// So the heap stays small enough to stay in the caches (at 10M triangles, a
// heap of an eighth of the pairs spent a fifth of the run missing them),
// while the refills that keep it so scan the near pool, not every pair.
// The near pool is kept in parts by key, bounded where the reserve's sample
// puts them, so that a refill reads only its cheapest part, not the whole
// pool (which it read about eight times over while taking an eighth a time).
//
// A pair's record says only that it is in the heap, not where: a pair that
// leaves or takes a new cost leaves its old node behind, which is dropped
// when it comes to the top. (Keeping every node's place in its pair's record
// was a write to a record anywhere in memory for each node that moved: a
// tenth of the contraction at 10M triangles.)
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/heartbeat.h"
#include "simplify/diet_run.h"

namespace zelfin {

class PairHeap {
 public:
  // pairs: every pair's cost, kept by the caller (a pair's cost must be set
  // before the pair is set or added), and its place, kept here (each must be
  // -1 at first, as a new PairSlot's is). min_refill: the least number of
  // pairs that a refill moves into the heap (small values let tests reach
  // the refills on small tables). heartbeat, when given, beats through the
  // refills' passes.
  explicit PairHeap(std::vector<PairSlot>& pairs, Heartbeat* heartbeat = nullptr,
                    std::size_t min_refill = 4096);

  // Pair index of the least (cost, index), or -1 when empty. (The top node
  // always stands for its pair: the others may not.)
  int32_t Top() const { return nodes_.empty() ? -1 : nodes_[0].pair; }
  // The cost the top pair was set with (the heap is not empty).
  double TopCost() const { return nodes_[0].cost; }
  // The pair that likely comes to the top when the top leaves, or -1: a
  // guess, for reading ahead (a node left behind may stand there, and the
  // refills of a dry heap are not looked at).
  int32_t Second() const {
    const std::size_t k = SecondNode();
    return k == 0 ? -1 : nodes_[k].pair;
  }
  // Asks for the records of the pairs that may stand second once the top has
  // left: the top's other children and the second's, which SecondStanding
  // then reads without waiting.
  void PrefetchNextSeconds() const;
  // The same, certain: nodes left behind that would stand there go first,
  // which reads that pair's record now.
  int32_t SecondStanding();

  // Adds the pair, or takes its new cost.
  void Set(int32_t pair);
  // Takes the pair out, if it is in.
  void Remove(int32_t pair);
  // Makes room for n pairs added without ordering: the lists are made once,
  // on huge pages where worth it, instead of grown by copying.
  void ReserveUnordered(std::size_t n);
  // Adds without ordering; call Heapify once after a run of these.
  void AddUnordered(int32_t pair);
  void Heapify();

 private:
  // Four children per node: fewer levels, and siblings share cache lines.
  static constexpr std::size_t kArity = 4;
  static constexpr int32_t kOut = -1;  // as PairSlot::place starts
  static constexpr int32_t kReserve = -2;
  static constexpr int32_t kNear = -3;
  static constexpr int32_t kTaken = -4;  // picked out of a pool, not yet placed
  static constexpr int32_t kHeap = -5;
  struct Node {
    double cost;
    int32_t pair;
  };
  static bool Less(const Node& a, const Node& b) {
    return a.cost < b.cost || (a.cost == b.cost && a.pair < b.pair);
  }
  int32_t& PlaceOf(int32_t pair) { return pairs_[static_cast<std::size_t>(pair)].place; }
  double CostOf(int32_t pair) const { return pairs_[static_cast<std::size_t>(pair)].cost; }
  // The node stands for its pair: the pair is in the heap with that key.
  bool InHeap(const Node& n) const { return Holds(n, kHeap); }
  bool InNear(const Node& n) const { return Holds(n, kNear); }
  bool Holds(const Node& n, int32_t place) const;
  // Where the second least key stands in nodes_, or 0 when none does.
  std::size_t SecondNode() const {
    std::size_t best = 0;
    for (std::size_t k = 1; k <= kArity && k < nodes_.size(); ++k) {
      if (best == 0 || Less(nodes_[k], nodes_[best])) best = k;
    }
    return best;
  }
  // Where a pool begins: keys below it belong before the pool.
  struct Bound {
    Node key{0, 0};
    bool bounded = false;  // false: every key is below it
  };
  static bool Below(const Node& n, const Bound& b) { return !b.bounded || Less(n, b.key); }
  void SiftUp(std::size_t at);
  void SiftDown(std::size_t at);
  void HeapSet(int32_t pair, double cost);
  void DropLeftTops();
  void KeepStanding(std::vector<Node>& list, int32_t place);
  void CompactHeap();
  void LeavePlace(int32_t pair);
  void ToNear(const Node& n);
  void ToReserve(int32_t pair);
  void CompactNear();
  void RefillIfDry();
  void Refill();
  void RefillNear();
  template <class Entries, class LiveNode>
  std::vector<Node> SortedSample(const Entries& entries, std::size_t count, LiveNode&& live) const;
  template <class Entries, class LiveNode>
  bool SampledBound(const Entries& entries, std::size_t count, std::size_t take, LiveNode&& live,
                    Bound& bound) const;
  std::size_t PartOf(const Node& n) const;
  void CountNearEntries();
  void BuildHeap();

  std::vector<Node> nodes_;
  // Costs, and places: kHeap, kNear, kReserve or kOut.
  std::vector<PairSlot>& pairs_;
  // The near pool with the keys its pairs were entered with, so that a
  // refill reads it in order and looks at a pair's record only when it takes
  // the pair. An entry is live while its pair is in the pool and holds that
  // key; others are dropped when met. Part k holds the keys below
  // part_end_[k] and at or above the end of the part before it (the first
  // part in use: at or above heap_end_); the last part in use ends where the
  // reserve starts.
  static constexpr std::size_t kNearParts = 16;
  std::vector<Node> near_[kNearParts];
  Bound part_end_[kNearParts];
  std::size_t parts_ = 1;         // parts in use
  std::size_t first_part_ = 0;    // those before it are empty
  std::size_t near_entries_ = 0;  // in all parts, live or not
  std::size_t near_made_ = 0;     // pairs in the pool when it was made
  // Every pair in the reserve, and some that have left it since the last
  // refill: a refill looks at these instead of at every pair, most of which
  // have long left. A pair that left and came back may stand twice; the
  // refill takes it once. (A table of which pairs are listed cost a cache
  // miss per pair sent to the reserve, a tenth of the contraction at 10M.)
  std::vector<int32_t> reserve_;
  Heartbeat* heartbeat_;
  std::size_t min_refill_;
  std::size_t heap_count_ = 0;  // pairs in the heap (nodes_ may hold more)
  std::size_t near_count_ = 0;
  std::size_t reserve_count_ = 0;
  // Keys below heap_end_ belong in the heap, others below reserve_start_ in
  // the near pool, the rest in the reserve; heap_end_ <= reserve_start_.
  Bound heap_end_;
  Bound reserve_start_;
};

}  // namespace zelfin
