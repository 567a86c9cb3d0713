#pragma once
// The candidate pairs ordered by (Cost, pair index): its top is exactly the
// pair that a scan for the least cost, lowest index on ties, would choose.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelfin {

class PairHeap {
 public:
  explicit PairHeap(std::size_t pair_count) : pos_(pair_count, -1) {}

  // Pair index of the least (cost, index), or -1 when empty.
  int32_t Top() const { return nodes_.empty() ? -1 : nodes_[0].pair; }

  // Adds the pair, or gives it its new cost.
  void Set(int32_t pair, double cost);
  // Takes the pair out, if it is in.
  void Remove(int32_t pair);
  // Adds without ordering; call Heapify once after a run of these.
  void AddUnordered(int32_t pair, double cost);
  void Heapify();

 private:
  // Four children per node: fewer levels, and siblings share cache lines.
  static constexpr std::size_t kArity = 4;
  struct Node {
    double cost;
    int32_t pair;
  };
  static bool Less(const Node& a, const Node& b) {
    return a.cost < b.cost || (a.cost == b.cost && a.pair < b.pair);
  }
  void Place(std::size_t at, const Node& n) {
    nodes_[at] = n;
    pos_[static_cast<std::size_t>(n.pair)] = static_cast<int32_t>(at);
  }
  void SiftUp(std::size_t at);
  void SiftDown(std::size_t at);

  std::vector<Node> nodes_;
  std::vector<int32_t> pos_;  // where each pair stands in nodes_, -1 when out
};

}  // namespace zelfin
