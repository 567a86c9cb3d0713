#pragma once
// The live faces and the active pairs of every vertex, in one 64-byte block
// per vertex, so that a single cache miss brings both lists of a vertex. Lists
// that do not fit the block spill into a shared arena, into rooms of a power
// of two that are used again once their vertex has moved to a larger one or
// vanished. An entry may no longer apply (a face that died, a pair that moved
// on): the users check entries on use.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/heartbeat.h"
#include "platform/huge_pages.h"
#include "platform/pages_ahead.h"
#include "platform/prefetch.h"

namespace zelfin {

class VertexAdjacency {
 public:
  // for_each_face(emit) and for_each_pair(emit) must call emit(vertex, item)
  // for every entry, in the order wanted, the same each time (they are
  // called twice: count, then fill).
  template <class ForEachFace, class ForEachPair>
  void Build(size_t vertex_count, ForEachFace&& for_each_face, ForEachPair&& for_each_pair,
             Heartbeat& heartbeat);

  // Brings the empty blocks of vertex_count vertices into being ahead of
  // Build, which then fills them: hundreds of megabytes of fresh pages that
  // may come while other work runs (on a helper thread: its heartbeat).
  void Prepare(size_t vertex_count, Heartbeat* heartbeat);
  // Where the arena's fresh pages are made ahead of the lists that spill into
  // them (null: where they are written).
  void SetPagesAhead(PagesAhead* pages) { arena_ahead_ = GrowthAhead(pages); }

  std::span<const int32_t> Faces(int32_t v) const {
    const Block& b = blocks_[static_cast<size_t>(v)];
    return {Items(b), b.faces};
  }
  std::span<const int32_t> Pairs(int32_t v) const {
    const Block& b = blocks_[static_cast<size_t>(v)];
    return {Items(b) + b.faces, b.pairs};
  }
  void AssignFaces(int32_t v, const std::vector<int32_t>& faces);
  void AssignPairs(int32_t v, const std::vector<int32_t>& pairs);
  void Clear(int32_t v);
  void Prefetch(int32_t v) const { PrefetchLine(&blocks_[static_cast<size_t>(v)]); }
  // Asks for v's lists when they stand outside its block (which must have
  // arrived by then, or this waits for it).
  void PrefetchSpill(int32_t v) const {
    const Block& b = blocks_[static_cast<size_t>(v)];
    if (b.spill == kNoSpill) return;
    PrefetchRange(At(b.spill), (b.faces + b.pairs) * sizeof(int32_t));
  }

 private:
  static constexpr uint32_t kInline = 12;
  static constexpr uint32_t kNoSpill = UINT32_MAX;
  struct alignas(64) Block {
    uint32_t faces = 0, pairs = 0;  // list lengths; the faces come first
    uint32_t spill = kNoSpill;      // where the lists stand in the arena, when they do not fit
    uint32_t room = 0;              // how many items the spill has room for
    int32_t items[kInline] = {};
  };

  // Spilled lists live in chunks of the arena, addressed by chunk and place;
  // growing the arena never moves what it holds.
  static constexpr int kPlaceBits = 22;
  static constexpr uint32_t kChunkItems = uint32_t{1} << kPlaceBits;
  int32_t* At(uint32_t spill) const {
    return arena_[spill >> kPlaceBits].get() + (spill & (kChunkItems - 1));
  }
  const int32_t* Items(const Block& b) const { return b.spill == kNoSpill ? b.items : At(b.spill); }
  // Room for n items in v's block, keeping its first `keep` items.
  int32_t* Room(Block& b, uint32_t n, uint32_t keep);
  void Assign(int32_t v, const std::vector<int32_t>& list, bool faces);

  uint32_t TakeRoom(uint32_t size);
  void GiveBack(uint32_t at, uint32_t size);

  std::vector<Block> blocks_;
  bool prepared_ = false;  // blocks_ holds Prepare's empty blocks, untouched
  std::vector<std::unique_ptr<int32_t[]>> arena_;
  uint32_t arena_used_ = kChunkItems;     // in the last chunk
  std::vector<uint32_t> free_rooms_[32];  // by log2 of their size
  GrowthAhead arena_ahead_{nullptr};
};

inline void VertexAdjacency::Prepare(size_t vertex_count, Heartbeat* heartbeat) {
  blocks_ = std::vector<Block>();
  ReserveHuge(blocks_, vertex_count);
  // A table of hundreds of megabytes takes a while to come into being.
  GrowInPieces(blocks_, vertex_count, Block{}, heartbeat);
  prepared_ = true;
}

template <class ForEachFace, class ForEachPair>
void VertexAdjacency::Build(size_t vertex_count, ForEachFace&& for_each_face,
                            ForEachPair&& for_each_pair, Heartbeat& heartbeat) {
  if (!prepared_ || blocks_.size() != vertex_count) Prepare(vertex_count, &heartbeat);
  prepared_ = false;
  for_each_face([&](int32_t v, int32_t) { ++blocks_[static_cast<size_t>(v)].faces; });
  for_each_pair([&](int32_t v, int32_t) { ++blocks_[static_cast<size_t>(v)].pairs; });
  arena_.clear();
  arena_used_ = kChunkItems;
  for (std::vector<uint32_t>& free : free_rooms_) free.clear();
  for (Block& b : blocks_) {
    const uint32_t n = b.faces + b.pairs;
    if (n <= kInline) continue;
    b.room = std::bit_ceil(n);
    b.spill = TakeRoom(b.room);
  }
  // Fill: faces from the front, pairs after them; the counts go up again.
  std::vector<uint32_t> filled = HugeTable<uint32_t>(vertex_count);
  for_each_face([&](int32_t v, int32_t item) {
    Block& b = blocks_[static_cast<size_t>(v)];
    const_cast<int32_t*>(Items(b))[filled[static_cast<size_t>(v)]++] = item;
  });
  for (size_t v = 0; v < vertex_count; ++v) filled[v] = blocks_[v].faces;
  for_each_pair([&](int32_t v, int32_t item) {
    Block& b = blocks_[static_cast<size_t>(v)];
    const_cast<int32_t*>(Items(b))[filled[static_cast<size_t>(v)]++] = item;
  });
}

}  // namespace zelfin
