#pragma once
// The set of lines of one kind that an output uses. Marking is a bit set; the
// marked lines come out in ascending order with a second level of bits, one per
// word of the first, so that an output costs what it uses and not what the
// whole file holds. Once numbered, a marked line's new number (its rank among
// the marked ones) is one count per word plus a popcount: no map as long as
// the file's lines is needed.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelfin {

// The marked bits of a word, counted without a library call where the target
// lacks the instruction (the portable build's case).
inline uint32_t CountMarks(uint64_t x) {
#if defined(__POPCNT__)
  return static_cast<uint32_t>(std::popcount(x));
#else
  x = x - ((x >> 1) & 0x5555555555555555ull);
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<uint32_t>((x * 0x0101010101010101ull) >> 56);
#endif
}

class UsedSet {
 public:
  explicit UsedSet(size_t size)
      : words_((size + 63) / 64), summary_((words_.size() + 63) / 64), before_(words_.size()) {}

  void Mark(size_t i) {
    words_[i >> 6] |= uint64_t{1} << (i & 63);
    summary_[i >> 12] |= uint64_t{1} << ((i >> 6) & 63);
  }

  // Numbers the marked entries 1, 2, ... in ascending order (see NewNumber).
  void Number() {
    uint32_t count = 0;
    ForEachMarkedWord([&](size_t w) {
      before_[w] = count;
      count += CountMarks(words_[w]);
    });
  }

  // The number that Number() gave the marked entry i.
  uint32_t NewNumber(size_t i) const {
    const uint64_t at_or_below = words_[i >> 6] << (63 - (i & 63));
    return before_[i >> 6] + CountMarks(at_or_below);
  }

  // Calls fn(i) for every marked i in ascending order.
  template <class Fn>
  void ForEachMarked(Fn&& fn) const {
    ForEachMarkedWord([&](size_t w) {
      for (uint64_t word = words_[w]; word != 0; word &= word - 1) {
        fn(w * 64 + static_cast<size_t>(std::countr_zero(word)));
      }
    });
  }

  // Unmarks everything, ready for the next file.
  void Clear() {
    for (size_t s = 0; s < summary_.size(); ++s) {
      for (uint64_t summary = summary_[s]; summary != 0; summary &= summary - 1) {
        words_[s * 64 + static_cast<size_t>(std::countr_zero(summary))] = 0;
      }
      summary_[s] = 0;
    }
  }

  // Marks what other marks (a set of the same size, filled on another
  // thread), and unmarks other.
  void Take(UsedSet& other) {
    other.ForEachMarkedWord([&](size_t w) {
      words_[w] |= other.words_[w];
      summary_[w >> 6] |= uint64_t{1} << (w & 63);
    });
    other.Clear();
  }
  // Calls fn(i) for every marked i in ascending order and unmarks it.
  template <class Fn>
  void Drain(Fn&& fn) {
    ForEachMarked(fn);
    Clear();
  }

 private:
  template <class Fn>
  void ForEachMarkedWord(Fn&& fn) const {
    for (size_t s = 0; s < summary_.size(); ++s) {
      for (uint64_t summary = summary_[s]; summary != 0; summary &= summary - 1) {
        fn(s * 64 + static_cast<size_t>(std::countr_zero(summary)));
      }
    }
  }

  std::vector<uint64_t> words_;
  std::vector<uint64_t> summary_;
  std::vector<uint32_t> before_;  // per word: how many marked entries stand before it
};

}  // namespace zelfin
