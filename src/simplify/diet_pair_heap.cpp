#include "simplify/diet_pair_heap.h"

#include <algorithm>

namespace zelfin {

namespace {

// How much of the reserve a refill moves into the heap: enough that refills
// are rare, little enough that the heap stays small and in the cache.
constexpr std::size_t kRefillDivisor = 8;

}  // namespace

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

void PairHeap::SiftDown(std::size_t at) {
  const Node n = nodes_[at];
  const std::size_t size = nodes_.size();
  for (;;) {
    const std::size_t first = at * kArity + 1;
    if (first >= size) break;
    const std::size_t last = first + kArity < size ? first + kArity : size;
    std::size_t child = first;
    for (std::size_t k = first + 1; k < last; ++k) {
      if (Less(nodes_[k], nodes_[child])) child = k;
    }
    if (!Less(nodes_[child], n)) break;
    Place(at, nodes_[child]);
    at = child;
  }
  Place(at, n);
}

void PairHeap::HeapSet(int32_t pair, double cost) {
  const int32_t at = pos_[static_cast<std::size_t>(pair)];
  if (at < 0) {
    nodes_.push_back({cost, pair});
    pos_[static_cast<std::size_t>(pair)] = static_cast<int32_t>(nodes_.size() - 1);
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
  pos_[static_cast<std::size_t>(nodes_[u].pair)] = kOut;
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
  int32_t& at = pos_[static_cast<std::size_t>(pair)];
  if (at >= 0) HeapErase(static_cast<std::size_t>(at));
  if (at != kReserve) ++reserve_count_;
  at = kReserve;
}

void PairHeap::Set(int32_t pair) {
  const double cost = cost_[static_cast<std::size_t>(pair)];
  if (!BelowThreshold({cost, pair})) {
    ToReserve(pair);
    RefillIfDry();
    return;
  }
  int32_t& at = pos_[static_cast<std::size_t>(pair)];
  if (at == kReserve) {
    --reserve_count_;
    at = kOut;
  }
  HeapSet(pair, cost);
}

void PairHeap::Remove(int32_t pair) {
  int32_t& at = pos_[static_cast<std::size_t>(pair)];
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
    pos_[static_cast<std::size_t>(n.pair)] = kReserve;
    ++reserve_count_;
  }
  nodes_.clear();
  RefillIfDry();
}

void PairHeap::RefillIfDry() {
  if (nodes_.empty() && reserve_count_ > 0) Refill();
}

// The reserve is all at or above the old threshold, so its cheapest part can
// be the heap under a new threshold: the least key that stays behind.
void PairHeap::Refill() {
  nodes_.clear();
  nodes_.reserve(reserve_count_);
  for (std::size_t i = 0; i < pos_.size(); ++i) {
    if (pos_[i] == kReserve) nodes_.push_back({cost_[i], static_cast<int32_t>(i)});
  }
  const std::size_t take = std::max(min_refill_, nodes_.size() / kRefillDivisor);
  if (nodes_.size() <= take) {
    bounded_ = false;
  } else {
    std::nth_element(nodes_.begin(), nodes_.begin() + static_cast<std::ptrdiff_t>(take),
                     nodes_.end(), [](const Node& x, const Node& y) { return Less(x, y); });
    bounded_ = true;
    threshold_ = nodes_[take];
    nodes_.resize(take);
  }
  reserve_count_ -= nodes_.size();
  nodes_.shrink_to_fit();
  BuildHeap();
}

void PairHeap::BuildHeap() {
  for (std::size_t i = 0; i < nodes_.size(); ++i) Place(i, nodes_[i]);
  if (nodes_.size() < 2) return;
  for (std::size_t i = (nodes_.size() - 2) / kArity + 1; i-- > 0;) SiftDown(i);
}

}  // namespace zelfin
