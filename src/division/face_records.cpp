#include "division/face_records.h"

#include <algorithm>

#include "platform/huge_pages.h"

namespace zelfin {

void FaceStore::NewBlock(size_t n) {
  Block block;
  block.capacity = std::max(n, kBlockBytes);
  // Written before it is read: no zeroing. The pages come into being as the
  // records fill them.
  block.bytes.reset(static_cast<uint8_t*>(::operator new[](block.capacity, kBlockAlignment)));
  AdviseHugePagesIfWorth(block.bytes.get(), block.capacity, block.capacity);
  blocks_.push_back(std::move(block));
}

FaceStore::Position FaceStore::Take(FaceStore& other) {
  const Position shift = static_cast<Position>(blocks_.size()) << 32;
  for (Block& block : other.blocks_) blocks_.push_back(std::move(block));
  other.blocks_.clear();
  return shift;
}

int FaceWriter::Form(int shape) const {
  if (shape < 2) return shape;
  bool alike = true, second_empty = shape == 3;
  for (uint32_t c = 0; c < count_ && (alike || second_empty); ++c) {
    const uint32_t(&n)[3] = kept_[c].numbers;
    if (shape == 3 && n[2] != n[0]) return shape;
    alike = alike && n[1] == n[0];
    second_empty = second_empty && n[1] == 0;
  }
  if (alike) return shape == 2 ? 4 : 5;
  return second_empty ? kAlikeSecondEmpty : shape;
}

void FaceWriter::Store(bool more) {
  int shape = count_ == 0 ? 1 : kept_[0].parts;
  for (uint32_t c = 0; c < count_; ++c) {
    if (kept_[c].parts != shape || kept_[c].relative != 0) shape = 0;
  }
  const int form = Form(shape);
  uint8_t* const start = store_.Room(kMostHeaderBytes + count_ * kMostCornerBytes);
  uint8_t* p = PutVarint(start, count_ << 4 | (more ? 8u : 0u) | static_cast<unsigned>(form));
  const int stored_parts = form >= kFirstAlikeForm ? 1 : 3;
  for (uint32_t c = 0; c < count_; ++c) {
    const Corner& corner = kept_[c];
    if (form == 0) *p++ = static_cast<uint8_t>(corner.parts | corner.relative << 2);
    for (int k = 0; k < corner.parts; ++k) {
      if (k < stored_parts) p = PutVarint(p, ZigZag(corner.numbers[k] - last_[k]));
      last_[k] = corner.numbers[k];
    }
  }
  store_.Added(static_cast<size_t>(p - start));
  count_ = 0;
}

}  // namespace zelfin
