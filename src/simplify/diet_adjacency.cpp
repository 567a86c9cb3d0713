#include "simplify/diet_adjacency.h"

#include <algorithm>
#include <cstring>

#include "platform/huge_pages.h"

namespace zelfin {

uint32_t VertexAdjacency::TakeRoom(uint32_t size) {
  std::vector<uint32_t>& free = free_rooms_[std::countr_zero(size)];
  if (!free.empty()) {
    const uint32_t at = free.back();
    free.pop_back();
    return at;
  }
  if (size > kChunkItems - arena_used_) {
    // A new chunk; a room larger than a chunk (a fan of millions) has one of
    // its own, which nothing else shares.
    arena_.push_back(HugeArray<int32_t>(std::max(size, kChunkItems)));
    arena_used_ = 0;
  }
  const uint32_t at = static_cast<uint32_t>((arena_.size() - 1) << kPlaceBits) + arena_used_;
  arena_used_ = std::min(arena_used_ + size, kChunkItems);
  arena_ahead_.Grew(arena_.back().get(), size_t{arena_used_} * sizeof(int32_t),
                    size_t{kChunkItems} * sizeof(int32_t));
  return at;
}

void VertexAdjacency::GiveBack(uint32_t at, uint32_t size) {
  free_rooms_[std::countr_zero(size)].push_back(at);
}

int32_t* VertexAdjacency::Room(Block& b, uint32_t n, uint32_t keep) {
  if (b.spill == kNoSpill && n <= kInline) return b.items;
  if (b.spill != kNoSpill && n <= b.room) return At(b.spill);
  // A larger room, with space to grow; the old one is free again.
  const uint32_t room = std::bit_ceil(std::max<uint32_t>(2 * n, 2 * kInline));
  const uint32_t at = TakeRoom(room);
  const int32_t* from = Items(b);
  std::copy(from, from + keep, At(at));
  if (b.spill != kNoSpill) GiveBack(b.spill, b.room);
  b.spill = at;
  b.room = room;
  return At(at);
}

void VertexAdjacency::Clear(int32_t v) {
  Block& b = blocks_[static_cast<size_t>(v)];
  if (b.spill != kNoSpill) GiveBack(b.spill, b.room);
  b = Block{};
}

void VertexAdjacency::Assign(int32_t v, const std::vector<int32_t>& list, bool faces) {
  Block& b = blocks_[static_cast<size_t>(v)];
  const uint32_t n = static_cast<uint32_t>(list.size());
  // The pairs stand behind the faces: keep them, at their new place.
  const uint32_t keep = faces ? b.faces + b.pairs : b.faces;
  int32_t* items = Room(b, faces ? n + b.pairs : b.faces + n, keep);
  if (faces) {
    std::memmove(items + n, items + b.faces, b.pairs * sizeof(int32_t));
    std::copy(list.begin(), list.end(), items);
    b.faces = n;
  } else {
    std::copy(list.begin(), list.end(), items + b.faces);
    b.pairs = n;
  }
}

void VertexAdjacency::AssignFaces(int32_t v, const std::vector<int32_t>& faces) {
  Assign(v, faces, true);
}

void VertexAdjacency::AssignPairs(int32_t v, const std::vector<int32_t>& pairs) {
  Assign(v, pairs, false);
}

}  // namespace zelfin
