#pragma once
// A list of integers (faces or pairs) per vertex, all in one flat array. A
// list that outgrows its slot moves to the end of the array.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/huge_pages.h"

namespace zelfin {

class VertexLists {
 public:
  // for_each(emit) must call emit(vertex, item) for every entry, the same
  // entries each time it is called (it is called twice: count, then fill).
  template <class ForEach>
  void Build(size_t vertex_count, ForEach&& for_each) {
    slots_ = std::vector<Slot>();
    ReserveHuge(slots_, vertex_count);
    slots_.assign(vertex_count, Slot{});
    for_each([&](int32_t v, int32_t) { ++slots_[static_cast<size_t>(v)].cap; });
    int64_t total = 0;
    for (Slot& s : slots_) {
      s.start = total;
      total += s.cap;
    }
    // Room for the lists that grow as vertices merge, so that the array
    // seldom has to move.
    ReserveHuge(items_, static_cast<size_t>(total + total / 4 + 16));
    items_.resize(static_cast<size_t>(total));
    for_each([&](int32_t v, int32_t item) {
      Slot& s = slots_[static_cast<size_t>(v)];
      items_[static_cast<size_t>(s.start + s.size++)] = item;
    });
  }

  // Valid until the next Assign.
  std::span<const int32_t> Of(int32_t v) const {
    const Slot& s = slots_[static_cast<size_t>(v)];
    return {items_.data() + s.start, static_cast<size_t>(s.size)};
  }

  void Assign(int32_t v, const std::vector<int32_t>& items) {
    Slot& s = slots_[static_cast<size_t>(v)];
    const int32_t n = static_cast<int32_t>(items.size());
    if (n > s.cap) {
      s.cap = n < 4 ? 8 : n * 2;
      s.start = static_cast<int64_t>(items_.size());
      items_.resize(items_.size() + static_cast<size_t>(s.cap));
    }
    int32_t* out = items_.data() + s.start;
    for (int32_t k = 0; k < n; ++k) out[k] = items[static_cast<size_t>(k)];
    s.size = n;
  }

  void Clear(int32_t v) { slots_[static_cast<size_t>(v)].size = 0; }

 private:
  // One cache access finds a vertex's list.
  struct Slot {
    int64_t start = 0;
    int32_t size = 0;
    int32_t cap = 0;
  };
  std::vector<Slot> slots_;
  std::vector<int32_t> items_;
};

}  // namespace zelfin
