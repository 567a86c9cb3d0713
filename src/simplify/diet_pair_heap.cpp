#include "simplify/diet_pair_heap.h"

#include <algorithm>

#include "platform/prefetch.h"

namespace zelfin {

namespace {

// How much of the reserve a refill moves into the heap: enough that refills
// are rare, little enough that the heap stays small and in the cache.
constexpr std::size_t kRefillDivisor = 8;

}  // namespace

PairHeap::PairHeap(std::vector<PairSlot>& pairs, Heartbeat* heartbeat, std::size_t min_refill)
    : pairs_(pairs), heartbeat_(heartbeat), min_refill_(min_refill) {
  static_assert(PairSlot{}.place == kOut);
}

void PairHeap::SiftUp(std::size_t at) {
  const Node n = nodes_[at];
  while (at > 0) {
    const std::size_t parent = (at - 1) / kArity;
    if (!Less(n, nodes_[parent])) break;
    Place(at, nodes_[parent]);
    at = parent;
  }
  Place(at, n);
}

// The places of the nodes that move up are written once the way down is
// known, their pairs' records asked for on the way: written at once, each
// write to a record (anywhere in memory) waited for the one before.
void PairHeap::SiftDown(std::size_t at) {
  const Node n = nodes_[at];
  const std::size_t size = nodes_.size();
  // A heap of places that fit in 32 bits is less deep than that.
  std::size_t moved[32];
  int held = 0;
  for (;;) {
    const std::size_t first = at * kArity + 1;
    if (first >= size) break;
    const std::size_t last = first + kArity < size ? first + kArity : size;
    std::size_t child = first;
    for (std::size_t k = first + 1; k < last; ++k) {
      if (Less(nodes_[k], nodes_[child])) child = k;
    }
    if (!Less(nodes_[child], n)) break;
    nodes_[at] = nodes_[child];
    PrefetchLineToWrite(&pairs_[static_cast<std::size_t>(nodes_[at].pair)]);
    moved[held++] = at;
    at = child;
  }
  Place(at, n);
  for (int k = 0; k < held; ++k) PlaceOf(nodes_[moved[k]].pair) = static_cast<int32_t>(moved[k]);
}

void PairHeap::HeapSet(int32_t pair, double cost) {
  const int32_t at = PlaceOf(pair);
  if (at < 0) {
    nodes_.push_back({cost, pair});
    PlaceOf(pair) = static_cast<int32_t>(nodes_.size() - 1);
    SiftUp(nodes_.size() - 1);
    return;
  }
  const std::size_t u = static_cast<std::size_t>(at);
  const Node old = nodes_[u];
  nodes_[u].cost = cost;
  if (Less(nodes_[u], old)) {
    SiftUp(u);
  } else {
    SiftDown(u);
  }
}

void PairHeap::HeapErase(std::size_t u) {
  PlaceOf(nodes_[u].pair) = kOut;
  const Node last = nodes_.back();
  nodes_.pop_back();
  if (u == nodes_.size()) return;
  Place(u, last);
  if (u > 0 && Less(last, nodes_[(u - 1) / kArity])) {
    SiftUp(u);
  } else {
    SiftDown(u);
  }
}

void PairHeap::ToReserve(int32_t pair) {
  int32_t& at = PlaceOf(pair);
  if (at == kReserve) return;  // listed already
  if (at >= 0) HeapErase(static_cast<std::size_t>(at));
  ++reserve_count_;
  at = kReserve;
  reserve_.push_back(pair);
}

void PairHeap::Set(int32_t pair) {
  const double cost = CostOf(pair);
  if (!BelowThreshold({cost, pair})) {
    ToReserve(pair);
    RefillIfDry();
    return;
  }
  int32_t& at = PlaceOf(pair);
  if (at == kReserve) {
    --reserve_count_;
    at = kOut;
  }
  HeapSet(pair, cost);
}

void PairHeap::Remove(int32_t pair) {
  int32_t& at = PlaceOf(pair);
  if (at == kReserve) {
    --reserve_count_;
    at = kOut;
  } else if (at >= 0) {
    HeapErase(static_cast<std::size_t>(at));
  }
  RefillIfDry();
}

void PairHeap::AddUnordered(int32_t pair) {
  ToReserve(pair);
}

// Everything goes back to the reserve, and the heap is picked out afresh.
void PairHeap::Heapify() {
  for (const Node& n : nodes_) {
    PlaceOf(n.pair) = kReserve;
    ++reserve_count_;
    reserve_.push_back(n.pair);
  }
  nodes_.clear();
  RefillIfDry();
}

void PairHeap::RefillIfDry() {
  if (nodes_.empty() && reserve_count_ > 0) Refill();
}

// A key of the reserve with about `take` keys of the reserve below it, and at
// least one: the rank is read off a sample, so that a refill never holds the
// whole reserve in memory at once. False when the sample holds fewer than two
// pairs, which no threshold can part.
bool PairHeap::SampledThreshold(std::size_t take, Node& threshold) const {
  constexpr std::size_t kSample = 2048;
  const std::size_t stride = std::max<std::size_t>(1, reserve_count_ / kSample);
  std::vector<Node> sample;
  sample.reserve(reserve_.size() / stride + 1);
  for (std::size_t k = 0; k < reserve_.size(); k += stride) {
    if (heartbeat_) heartbeat_->Beat();
    const std::size_t i = static_cast<std::size_t>(reserve_[k]);
    if (pairs_[i].place != kReserve) continue;  // it has left
    sample.push_back({pairs_[i].cost, static_cast<int32_t>(i)});
  }
  // A pair listed twice counts once.
  std::sort(sample.begin(), sample.end(), [](const Node& x, const Node& y) { return Less(x, y); });
  sample.erase(std::unique(sample.begin(), sample.end(),
                           [](const Node& x, const Node& y) { return x.pair == y.pair; }),
               sample.end());
  if (sample.size() < 2) return false;
  std::size_t rank = sample.size() * take / reserve_count_;
  threshold = sample[std::clamp<std::size_t>(rank, 1, sample.size() - 1)];
  return true;
}

// The reserve is all at or above the old threshold, so its part below a new,
// higher threshold can be the heap.
void PairHeap::Refill() {
  const std::size_t take = std::max(min_refill_, reserve_count_ / kRefillDivisor);
  bounded_ = reserve_count_ > take && SampledThreshold(take, threshold_);
  nodes_.clear();
  // One pass over the list (a pair's place and cost share a cache line): it
  // loses the pairs that have left the reserve and gives up those below the
  // threshold to the heap.
  std::size_t kept = 0;
  for (const int32_t pair : reserve_) {
    if (heartbeat_) heartbeat_->Beat();
    PairSlot& slot = pairs_[static_cast<std::size_t>(pair)];
    if (slot.place != kReserve) continue;  // it left, or an earlier entry took it
    const Node n{slot.cost, pair};
    if (BelowThreshold(n)) {
      slot.place = kOut;  // until BuildHeap places it
      nodes_.push_back(n);
    } else {
      reserve_[kept++] = pair;
    }
  }
  reserve_.resize(kept);
  reserve_count_ -= nodes_.size();
  BuildHeap();
}

void PairHeap::BuildHeap() {
  for (std::size_t i = 0; i < nodes_.size(); ++i) Place(i, nodes_[i]);
  if (nodes_.size() < 2) return;
  for (std::size_t i = (nodes_.size() - 2) / kArity + 1; i-- > 0;) {
    if (heartbeat_) heartbeat_->Beat();
    SiftDown(i);
  }
}

}  // namespace zelfin
