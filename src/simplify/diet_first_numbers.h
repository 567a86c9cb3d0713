#pragma once
// Keys of N 64-bit words, each given the number it came with the first time
// it was met: the attributes' values (compared to the bit) and their wedges.
// A table with open addressing over flat slots: a textured model has millions
// of them, and a map with a string and a node per value spent a sixth of such
// a simplification allocating and hashing.
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace zelfin {

template <size_t N>
using KeyWords = std::array<uint64_t, N>;

// The bits of N doubles: values identical to the bit are one key (0 and -0
// are two, as are NaNs of other bits).
template <size_t N>
KeyWords<N> BitsOf(const std::array<double, N>& value) {
  KeyWords<N> bits;
  for (size_t k = 0; k < N; ++k) bits[k] = std::bit_cast<uint64_t>(value[k]);
  return bits;
}

template <size_t N>
class FirstNumbers {
 public:
  // Room for about `expected` keys before the table grows.
  explicit FirstNumbers(size_t expected = 0) {
    slots_.resize(std::bit_ceil(std::max<size_t>(16, 2 * expected)));
  }

  // The number the key was first given; a new key takes `number` (never
  // kNone), and `fresh` says so.
  int32_t Number(const KeyWords<N>& key, int32_t number, bool& fresh) {
    if (2 * (count_ + 1) > slots_.size()) Grow();
    Slot& slot = Find(key);
    fresh = slot.number == kNone;
    if (fresh) {
      slot = {key, number};
      ++count_;
    }
    return slot.number;
  }
  int32_t Number(const KeyWords<N>& key, int32_t number) {
    bool fresh = false;
    return Number(key, number, fresh);
  }

  size_t size() const { return count_; }

  static constexpr int32_t kNone = std::numeric_limits<int32_t>::min();

 private:
  struct Slot {
    KeyWords<N> key{};
    int32_t number = kNone;
  };

  // The key's slot, or the empty one where it would go.
  Slot& Find(const KeyWords<N>& key) {
    const size_t mask = slots_.size() - 1;
    for (size_t at = Hash(key) & mask;; at = (at + 1) & mask) {
      Slot& slot = slots_[at];
      if (slot.number == kNone || slot.key == key) return slot;
    }
  }

  // Every word moves every bit of the hash (the last steps of splitmix64):
  // values often differ only in their lowest bits.
  static size_t Hash(const KeyWords<N>& key) {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (const uint64_t word : key) {
      h = (h ^ word) * 0xBF58476D1CE4E5B9ull;
      h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
      h ^= h >> 31;
    }
    return static_cast<size_t>(h);
  }

  void Grow() {
    std::vector<Slot> old(2 * slots_.size());
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.number != kNone) Find(slot.key) = slot;
    }
  }

  std::vector<Slot> slots_;
  size_t count_ = 0;
};

}  // namespace zelfin
