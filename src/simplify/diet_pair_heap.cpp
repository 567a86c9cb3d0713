#include "simplify/diet_pair_heap.h"

#include <algorithm>
#include <bit>

#include "platform/huge_pages.h"
#include "platform/prefetch.h"

namespace zelfin {

namespace {

// How much of a pool a refill moves on: enough that refills are rare, little
// enough that the heap stays small and in the cache.
constexpr std::size_t kRefillDivisor = 8;

// How far ahead in a list of pairs their records are asked for.
constexpr std::size_t kListAhead = 16;

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
    nodes_[at] = nodes_[parent];
    at = parent;
  }
  nodes_[at] = n;
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
    nodes_[at] = nodes_[child];
    at = child;
  }
  nodes_[at] = n;
}

bool PairHeap::Holds(const Node& n, int32_t place) const {
  const PairSlot& slot = pairs_[static_cast<std::size_t>(n.pair)];
  return slot.place == place &&
         std::bit_cast<uint64_t>(slot.cost) == std::bit_cast<uint64_t>(n.cost);
}

// A new node; the pair's old one, if any, is left behind. (Two nodes with
// the same key for one pair are one and the same to the order.)
void PairHeap::HeapSet(int32_t pair, double cost) {
  if (PlaceOf(pair) != kHeap) {
    LeavePlace(pair);  // out of a pool
    PlaceOf(pair) = kHeap;
    ++heap_count_;
  }
  nodes_.push_back({cost, pair});
  SiftUp(nodes_.size() - 1);
  if (nodes_.size() > 2 * heap_count_ + min_refill_) CompactHeap();
}

// Nodes left behind go as they come to the top, so that the top always
// stands for its pair.
void PairHeap::DropLeftTops() {
  if (heap_count_ == 0) {
    nodes_.clear();
    return;
  }
  while (!nodes_.empty() && !InHeap(nodes_[0])) {
    nodes_[0] = nodes_.back();
    nodes_.pop_back();
    SiftDown(0);
  }
}

int32_t PairHeap::SecondStanding() {
  for (;;) {
    const std::size_t best = SecondNode();
    if (best == 0) return -1;
    // A second node of the top's own pair stands for nothing more.
    if (nodes_[best].pair != nodes_[0].pair && InHeap(nodes_[best])) return nodes_[best].pair;
    // Everything below the top is at or above it: the last node sinks.
    nodes_[best] = nodes_.back();
    nodes_.pop_back();
    if (best < nodes_.size()) SiftDown(best);
  }
}

void PairHeap::PrefetchNextSeconds() const {
  const std::size_t second = SecondNode();
  if (second == 0) return;
  const auto ask = [this](std::size_t k) {
    if (k < nodes_.size()) PrefetchLine(&pairs_[static_cast<std::size_t>(nodes_[k].pair)]);
  };
  for (std::size_t k = 1; k <= kArity; ++k) {
    if (k != second) ask(k);
  }
  for (std::size_t k = second * kArity + 1; k <= second * kArity + kArity; ++k) ask(k);
}

// Keeps one entry per pair that an entry of the list stands for in place:
// the pairs kept are marked taken as met, then given their place back.
void PairHeap::KeepStanding(std::vector<Node>& list, int32_t place) {
  std::size_t kept = 0;
  for (const Node& n : list) {
    if (heartbeat_) heartbeat_->Beat();
    if (!Holds(n, place)) continue;  // also the second entry of a pair
    PlaceOf(n.pair) = kTaken;
    list[kept++] = n;
  }
  list.resize(kept);
  for (const Node& n : list) PlaceOf(n.pair) = place;
}

// Where more nodes are left behind than stand for pairs, only one node per
// pair in the heap stays.
void PairHeap::CompactHeap() {
  KeepStanding(nodes_, kHeap);
  BuildHeap();
}

// The pair leaves the pool or the heap it stands in (its node or its entry
// in a pool's list stays behind, and is dropped when met).
void PairHeap::LeavePlace(int32_t pair) {
  int32_t& at = PlaceOf(pair);
  if (at == kHeap) {
    --heap_count_;  // its node stays behind
  } else if (at == kNear) {
    --near_count_;
  } else if (at == kReserve) {
    --reserve_count_;
  }
  at = kOut;
}

void PairHeap::ToNear(const Node& n) {
  LeavePlace(n.pair);
  PlaceOf(n.pair) = kNear;
  ++near_count_;
  near_[PartOf(n)].push_back(n);
  if (++near_entries_ > 2 * near_count_ + min_refill_) CompactNear();
}

// The part a key of the near pool belongs in.
std::size_t PairHeap::PartOf(const Node& n) const {
  std::size_t lo = first_part_, hi = parts_ - 1;  // the last part takes what is left
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (Below(n, part_end_[mid])) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

void PairHeap::CountNearEntries() {
  near_entries_ = 0;
  for (std::size_t k = 0; k < parts_; ++k) near_entries_ += near_[k].size();
}

void PairHeap::ToReserve(int32_t pair) {
  if (PlaceOf(pair) == kReserve) return;  // listed already
  LeavePlace(pair);
  PlaceOf(pair) = kReserve;
  ++reserve_count_;
  reserve_.push_back(pair);
}

// Where the near pool's list holds more entries that no longer apply than
// live ones, it keeps one entry per pair in the pool.
void PairHeap::CompactNear() {
  for (std::size_t k = first_part_; k < parts_; ++k) KeepStanding(near_[k], kNear);
  CountNearEntries();
}

void PairHeap::Set(int32_t pair) {
  const Node n{CostOf(pair), pair};
  if (Below(n, heap_end_)) {
    HeapSet(pair, n.cost);
  } else if (Below(n, reserve_start_)) {
    ToNear(n);
  } else {
    ToReserve(pair);
  }
  RefillIfDry();
  DropLeftTops();
}

void PairHeap::Remove(int32_t pair) {
  LeavePlace(pair);
  RefillIfDry();
  DropLeftTops();
}

void PairHeap::ReserveUnordered(std::size_t n) {
  ReserveHuge(reserve_, n);
  for (std::vector<Node>& part : near_) {
    ReserveHuge(part, n / kRefillDivisor / kNearParts + min_refill_);  // grows past it at need
  }
}

void PairHeap::AddUnordered(int32_t pair) {
  ToReserve(pair);
}

// Everything goes back to the reserve, and the heap is picked out afresh.
void PairHeap::Heapify() {
  for (const Node& n : nodes_) {
    if (InHeap(n)) ToReserve(n.pair);
  }
  nodes_.clear();
  for (std::size_t k = first_part_; k < parts_; ++k) {
    for (const Node& n : near_[k]) {
      if (InNear(n)) ToReserve(n.pair);
    }
    near_[k].clear();
  }
  near_entries_ = 0;
  RefillIfDry();
  DropLeftTops();
}

void PairHeap::RefillIfDry() {
  if (heap_count_ == 0 && near_count_ + reserve_count_ > 0) Refill();
}

// The keys of a sample of a pool's list of `count` pairs, sorted, each pair
// once: a refill's bounds are read off it, so that a refill never holds the
// whole pool in memory at once. live(entry, node) says whether a list entry
// stands for a pair in the pool, and its key.
template <class Entries, class LiveNode>
std::vector<PairHeap::Node> PairHeap::SortedSample(const Entries& entries, std::size_t count,
                                                   LiveNode&& live) const {
  constexpr std::size_t kSample = 2048;
  const std::size_t stride = std::max<std::size_t>(1, count / kSample);
  std::vector<Node> sample;
  sample.reserve(entries.size() / stride + 1);
  for (std::size_t k = 0; k < entries.size(); k += stride) {
    if (heartbeat_) heartbeat_->Beat();
    Node n;
    if (live(entries[k], n)) sample.push_back(n);
  }
  // A pair listed twice counts once.
  std::sort(sample.begin(), sample.end(), [](const Node& x, const Node& y) { return Less(x, y); });
  sample.erase(std::unique(sample.begin(), sample.end(),
                           [](const Node& x, const Node& y) { return x.pair == y.pair; }),
               sample.end());
  return sample;
}

// A key of a pool with about `take` of its `count` keys below it, and at
// least one. False when the sample holds fewer than two pairs, which no
// bound can part.
template <class Entries, class LiveNode>
bool PairHeap::SampledBound(const Entries& entries, std::size_t count, std::size_t take,
                            LiveNode&& live, Bound& bound) const {
  const std::vector<Node> sample = SortedSample(entries, count, live);
  if (sample.size() < 2) return false;
  const std::size_t rank = sample.size() * take / count;
  bound = {sample[std::clamp<std::size_t>(rank, 1, sample.size() - 1)], true};
  return true;
}

// The near pool is all at or above the heap's old end, so its cheapest part
// in use can be the heap, or the part of it below a sampled end where it
// holds more than a refill takes. Only that part's list is read; a pair's
// record is looked at only where its entry falls below the new end.
void PairHeap::Refill() {
  if (near_count_ == 0) RefillNear();
  // About what a part of the pool as it was made holds. (A share of what is
  // left would split the last parts, reading them many times.)
  const std::size_t take = std::max(min_refill_, near_made_ / kNearParts);
  const auto live = [this](const Node& entry, Node& n) {
    n = entry;
    return InNear(entry);
  };
  nodes_.clear();
  while (nodes_.empty()) {
    std::vector<Node>& part = near_[first_part_];
    Bound end;
    if (!(part.size() > 2 * take && SampledBound(part, part.size(), take, live, end))) {
      end = part_end_[first_part_];  // the whole part
    }
    heap_end_ = end;
    std::size_t kept = 0;
    const std::size_t listed = part.size();
    for (std::size_t k = 0; k < listed; ++k) {
      if (heartbeat_) heartbeat_->Beat();
      // The records of the entries that the heap takes, asked for ahead.
      if (k + kListAhead < listed && Below(part[k + kListAhead], end)) {
        PrefetchLineToWrite(&pairs_[static_cast<std::size_t>(part[k + kListAhead].pair)]);
      }
      const Node n = part[k];
      if (!Below(n, end)) {
        part[kept++] = n;  // stays, whether it applies or not
      } else if (InNear(n)) {
        PlaceOf(n.pair) = kTaken;  // until BuildHeap places it
        nodes_.push_back(n);
      }
    }
    part.resize(kept);
    // A part taken whole is done with; the last one only with the pool.
    if (kept == 0 && first_part_ + 1 < parts_) ++first_part_;
  }
  near_count_ -= nodes_.size();
  CountNearEntries();
  BuildHeap();
}

// The reserve is all at or above the near pool's old start: its part below a
// new, higher start becomes the near pool, in parts bounded by the same
// sample. One pass over the list (a pair's place and cost share a cache
// line) loses the pairs that have left.
void PairHeap::RefillNear() {
  const std::size_t take = std::max(min_refill_, reserve_count_ / kRefillDivisor);
  const auto live = [this](int32_t pair, Node& n) {
    const PairSlot& slot = pairs_[static_cast<std::size_t>(pair)];
    n = {slot.cost, pair};
    return slot.place == kReserve;
  };
  const std::vector<Node> sample =
      reserve_count_ > take ? SortedSample(reserve_, reserve_count_, live) : std::vector<Node>();
  Bound start;  // unbounded: the whole reserve
  std::size_t rank = 0;
  if (sample.size() >= 2) {
    rank = std::clamp<std::size_t>(sample.size() * take / reserve_count_, 1, sample.size() - 1);
    start = {sample[rank], true};
  }
  reserve_start_ = start;
  for (std::size_t k = 0; k < parts_; ++k) near_[k].clear();
  // Part k ends at the sample's key of rank (k + 1) / parts of the start's.
  parts_ = std::clamp<std::size_t>(rank, 1, kNearParts);
  for (std::size_t k = 0; k + 1 < parts_; ++k) {
    part_end_[k] = {sample[rank * (k + 1) / parts_], true};
  }
  part_end_[parts_ - 1] = start;
  first_part_ = 0;
  std::size_t kept = 0, taken = 0;
  const std::size_t listed = reserve_.size();
  for (std::size_t k = 0; k < listed; ++k) {
    if (heartbeat_) heartbeat_->Beat();
    // Pairs that came back since the reserve was made are listed in no order
    // of their records: a miss each, asked for ahead so that they overlap.
    // (Entries ahead of k are not yet moved by the compaction.)
    if (k + kListAhead < listed) {
      PrefetchLineToWrite(&pairs_[static_cast<std::size_t>(reserve_[k + kListAhead])]);
    }
    const int32_t pair = reserve_[k];
    PairSlot& slot = pairs_[static_cast<std::size_t>(pair)];
    if (slot.place != kReserve) continue;  // it left, or an earlier entry took it
    const Node n{slot.cost, pair};
    if (Below(n, start)) {
      slot.place = kNear;
      near_[PartOf(n)].push_back(n);
      ++taken;
    } else {
      reserve_[kept++] = pair;
    }
  }
  reserve_.resize(kept);
  reserve_count_ -= taken;
  near_count_ = taken;
  near_entries_ = taken;
  near_made_ = taken;
}

// Every node stands for its pair, and for no pair another node stands for.
void PairHeap::BuildHeap() {
  for (const Node& n : nodes_) PlaceOf(n.pair) = kHeap;
  heap_count_ = nodes_.size();
  if (nodes_.size() < 2) return;
  for (std::size_t i = (nodes_.size() - 2) / kArity + 1; i-- > 0;) {
    if (heartbeat_) heartbeat_->Beat();
    SiftDown(i);
  }
}

}  // namespace zelfin
