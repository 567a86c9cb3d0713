#pragma once
// The faces of a division run, read once from the text and kept as compact
// records of their corners' line numbers. A face is one record, or several
// when it has more than kCornersPerRecord corners, each a byte string:
//
//   varint  corners << 4 | more << 3 | form
//                          more: the face goes on in the next record
//                          form 1..3: every corner has that many parts;
//                          0: each corner brings its own;
//                          from kFirstAlikeForm on: every corner numbers
//                          its parts alike
//   [byte   parts | relative << 2]    per corner, only with form 0
//   varint  per part: zigzag of (number - the last number of its kind);
//           with an alike form only the first part's
//
// where a number is the 1-based line of the part's kind (0: no reference).
// Numbers are stored as differences to the previous face's, which a run of
// faces keeps small: a record takes a fraction of the face's own text. The
// chain of differences starts again with every run, so that a run reads alone.
// A part marked relative (only in the second piece of a parse, which cannot
// know how many lines the first holds) is counted from that piece's start:
// the reader adds the lines of its kind that stand before the piece.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace zelfin {

// The most corners in one record, and the most bytes that one corner and a
// record's header take.
inline constexpr uint32_t kCornersPerRecord = 64;
inline constexpr size_t kMostCornerBytes = 1 + 3 * 5;
inline constexpr size_t kMostHeaderBytes = 2;

// Many files number a corner's texture coordinate and normal as its vertex
// ("7/7/7", "7//7"): their records hold one number per corner, not three.
// Forms from kFirstAlikeForm on: 4 "7/7", 5 "7/7/7", 6 "7//7".
inline constexpr int kFirstAlikeForm = 4;
inline constexpr int kPartsOfForm[7] = {0, 1, 2, 3, 2, 3, 3};
inline constexpr int kAlikeSecondEmpty = 6;

inline uint8_t* PutVarint(uint8_t* p, uint64_t value) {
  while (value >= 0x80) {
    *p++ = static_cast<uint8_t>(value | 0x80);
    value >>= 7;
  }
  *p++ = static_cast<uint8_t>(value);
  return p;
}

[[gnu::always_inline]] inline const uint8_t* GetVarint(const uint8_t* p, uint64_t& value) {
  uint64_t v = *p++;
  if (v >= 0x80) {
    v &= 0x7F;
    int shift = 7;
    for (;;) {
      const uint64_t byte = *p++;
      v |= (byte & 0x7F) << shift;
      if (byte < 0x80) break;
      shift += 7;
    }
  }
  value = v;
  return p;
}

// Differences of 32-bit numbers, taken modulo 2^32, as small unsigned values.
inline uint32_t ZigZag(uint32_t difference) {
  const auto d = static_cast<int32_t>(difference);
  return (static_cast<uint32_t>(d) << 1) ^ static_cast<uint32_t>(d >> 31);
}
inline uint32_t UnZigZag(uint32_t z) {
  return (z >> 1) ^ (0u - (z & 1));
}

// Appends records in blocks that never move, so that the store grows without
// holding an old and a new copy at once. A record lies whole in one block.
class FaceStore {
 public:
  // block << 32 | byte offset in the block
  using Position = uint64_t;
  // The bytes from one position to a later one, about (a block may end short
  // of full).
  static uint64_t BytesBetween(Position from, Position to) {
    return ((to >> 32) - (from >> 32)) * kBlockBytes + (to & 0xFFFFFFFFu) - (from & 0xFFFFFFFFu);
  }
  static constexpr size_t kBlockBytes = size_t{4} << 20;

  // Room for n bytes at the end; Added() then says how many were written.
  uint8_t* Room(size_t n) {
    if (blocks_.empty() || blocks_.back().capacity - blocks_.back().size < n) NewBlock(n);
    return blocks_.back().bytes.get() + blocks_.back().size;
  }
  void Added(size_t n) { blocks_.back().size += n; }

  Position End() const {
    return blocks_.empty() ? 0 : (blocks_.size() - 1) << 32 | blocks_.back().size;
  }

  // Moves the blocks of other behind these. A position p of other is then
  // p + the returned shift.
  Position Take(FaceStore& other);

  // The bytes of block b, and the end of what it holds.
  const uint8_t* Bytes(size_t b) const { return blocks_[b].bytes.get(); }
  size_t Size(size_t b) const { return blocks_[b].size; }

 private:
  // Blocks start on a huge page's boundary, so that one of kBlockBytes can
  // be held in two huge pages where those are worth it (huge_pages.h).
  static constexpr std::align_val_t kBlockAlignment{size_t{2} << 20};
  struct AlignedDelete {
    void operator()(uint8_t* p) const { ::operator delete[](p, kBlockAlignment); }
  };
  struct Block {
    std::unique_ptr<uint8_t[], AlignedDelete> bytes;
    size_t size = 0;
    size_t capacity = 0;
  };
  void NewBlock(size_t n);
  std::vector<Block> blocks_;
};

// A stretch of consecutive records of one name (and one material line).
struct FaceRun {
  FaceStore::Position begin = 0, end = 0;
  uint32_t material = 0;  // kNoMaterial, or a position in ObjModel::MaterialLines
};
inline constexpr uint32_t kNoMaterial = UINT32_MAX;

// Reads the records of one run, face after face, and of each face its
// corners, record after record.
class FaceReader {
 public:
  // base: the lines of each kind before the second piece, for relative parts.
  FaceReader(const FaceStore& store, const FaceRun& run, const uint32_t (&base)[3])
      : store_(store),
        block_(run.begin >> 32),
        last_block_(run.end >> 32),
        end_(run.end),
        base_(base) {
    EnterBlock(run.begin & 0xFFFFFFFFu);
  }

  // Steps to the next face; false after the last. Every corner of a face is
  // read (NextCorners until it gives 0) before the next face.
  bool NextFace() {
    more_ = true;
    return AtRecord();
  }

  // How many corners the face's next record holds (at most
  // kCornersPerRecord); 0 once the face has no more.
  [[gnu::always_inline]] uint32_t NextCorners() {
    if (!more_) return 0;
    AtRecord();
    uint64_t header = 0;
    p_ = GetVarint(p_, header);
    form_ = static_cast<int>(header & 7);
    more_ = (header & 8) != 0;
    return static_cast<uint32_t>(header >> 4);
  }

  // Reads the next corner of the record: numbers[k] for k below the returned
  // count of parts.
  [[gnu::always_inline]] int NextCorner(uint32_t (&numbers)[3]) {
    if (form_ >= kFirstAlikeForm) {
      uint64_t z = 0;
      p_ = GetVarint(p_, z);
      const uint32_t number = last_[0] += UnZigZag(static_cast<uint32_t>(z));
      numbers[0] = number;
      numbers[1] = form_ == kAlikeSecondEmpty ? 0 : number;
      numbers[2] = number;
      const int parts = kPartsOfForm[form_];
      for (int k = 1; k < parts; ++k) last_[k] = numbers[k];
      return parts;
    }
    int parts = form_;
    unsigned relative = 0;
    if (parts == 0) {
      parts = *p_ & 3;
      relative = *p_++ >> 2;
    }
    for (int k = 0; k < parts; ++k) {
      uint64_t z = 0;
      p_ = GetVarint(p_, z);
      last_[k] += UnZigZag(static_cast<uint32_t>(z));
      numbers[k] = last_[k] + ((relative >> k) & 1 ? base_[k] : 0);
    }
    return parts;
  }

 private:
  // Moves on to the block of the next record; false at the run's end.
  bool AtRecord() {
    while (p_ == limit_) {
      if (block_ == last_block_) return false;
      ++block_;
      EnterBlock(0);
    }
    return true;
  }
  void EnterBlock(size_t offset) {
    const uint8_t* bytes = store_.Bytes(block_);
    p_ = bytes + offset;
    limit_ = bytes + (block_ == last_block_ ? (end_ & 0xFFFFFFFFu) : store_.Size(block_));
  }

  const FaceStore& store_;
  size_t block_, last_block_;
  FaceStore::Position end_;
  const uint32_t (&base_)[3];
  const uint8_t* p_ = nullptr;
  const uint8_t* limit_ = nullptr;
  bool more_ = false;
  int form_ = 0;
  uint32_t last_[3] = {0, 0, 0};
};

// Writes the records of one run into a store: the counterpart of FaceReader.
// A face's corners are given one by one, then Finish() ends the face.
class FaceWriter {
 public:
  explicit FaceWriter(FaceStore& store) : store_(store) {}

  // Starts a new run: the next face's numbers are stored whole.
  void StartRun() { last_[0] = last_[1] = last_[2] = 0; }

  // relative: bit k says that part k counts from the second piece's start.
  void AddCorner(int parts, unsigned relative, const uint32_t (&numbers)[3]) {
    if (count_ == kCornersPerRecord) Store(true);
    kept_[count_++] = Corner{parts, relative, {numbers[0], numbers[1], numbers[2]}};
  }

  void Finish() { Store(false); }

 private:
  struct Corner {
    int parts;
    unsigned relative;
    uint32_t numbers[3];
  };

  // The kept corners as one record.
  void Store(bool more);
  // The record's form for kept corners of `shape` parts each (0: mixed).
  int Form(int shape) const;

  FaceStore& store_;
  uint32_t last_[3] = {0, 0, 0};
  Corner kept_[kCornersPerRecord];
  uint32_t count_ = 0;
};

}  // namespace zelfin
