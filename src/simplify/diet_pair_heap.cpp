#include "simplify/diet_pair_heap.h"

namespace zelfin {

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

void PairHeap::Set(int32_t pair, double cost) {
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

void PairHeap::Remove(int32_t pair) {
  const int32_t at = pos_[static_cast<std::size_t>(pair)];
  if (at < 0) return;
  pos_[static_cast<std::size_t>(pair)] = -1;
  const std::size_t u = static_cast<std::size_t>(at);
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

void PairHeap::AddUnordered(int32_t pair, double cost) {
  pos_[static_cast<std::size_t>(pair)] = static_cast<int32_t>(nodes_.size());
  nodes_.push_back({cost, pair});
}

void PairHeap::Heapify() {
  if (nodes_.size() < 2) return;
  for (std::size_t i = (nodes_.size() - 2) / kArity + 1; i-- > 0;) SiftDown(i);
}

}  // namespace zelfin
