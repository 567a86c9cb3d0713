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

void FaceWriter::Store(bool more) {
  int shape = count_ == 0 ? 1 : kept_[0].parts;
  for (uint32_t c = 0; c < count_; ++c) {
    if (kept_[c].parts != shape || kept_[c].relative != 0) shape = 0;
  }
  uint8_t* const start = store_.Room(kMostHeaderBytes + count_ * kMostCornerBytes);
  uint8_t* p = PutVarint(start, count_ << 3 | (more ? 4u : 0u) | static_cast<unsigned>(shape));
  for (uint32_t c = 0; c < count_; ++c) {
    const Corner& corner = kept_[c];
    if (shape == 0) *p++ = static_cast<uint8_t>(corner.parts | corner.relative << 2);
    for (int k = 0; k < corner.parts; ++k) {
      p = PutVarint(p, ZigZag(corner.numbers[k] - last_[k]));
      last_[k] = corner.numbers[k];
    }
  }
  store_.Added(static_cast<size_t>(p - start));
  count_ = 0;
}

}  // namespace zelfin
