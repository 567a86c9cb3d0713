#pragma once
// The set of lines of one kind that an output uses. Marking is a bit set; the
// marked lines come out in ascending order with a second level of bits, one per
// word of the first, so that an output costs what it uses and not what the
// whole file holds.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelfin {

class UsedSet {
 public:
  explicit UsedSet(size_t size) : words_((size + 63) / 64), summary_((words_.size() + 63) / 64) {}

  void Mark(size_t i) {
    words_[i >> 6] |= uint64_t{1} << (i & 63);
    summary_[i >> 12] |= uint64_t{1} << ((i >> 6) & 63);
  }

  // Calls fn(i) for every marked i in ascending order and unmarks it.
  template <class Fn>
  void Drain(Fn&& fn) {
    for (size_t s = 0; s < summary_.size(); ++s) {
      uint64_t summary = summary_[s];
      summary_[s] = 0;
      while (summary != 0) {
        const size_t w = s * 64 + static_cast<size_t>(std::countr_zero(summary));
        summary &= summary - 1;
        uint64_t word = words_[w];
        words_[w] = 0;
        while (word != 0) {
          fn(w * 64 + static_cast<size_t>(std::countr_zero(word)));
          word &= word - 1;
        }
      }
    }
  }

 private:
  std::vector<uint64_t> words_;
  std::vector<uint64_t> summary_;
};

}  // namespace zelfin
