#pragma once
// Fresh pages for tables that grow while one thread works alone: a helper
// thread brings into being the piece just past a table's end before the
// working thread writes there, so that the kernel's zeroing (and, on a virtual
// machine, its trap to the host) falls to the idle core. Only pages are made;
// nothing is written, so the helper and the working thread never race over
// data, and a piece whose table has moved or gone meanwhile costs nothing but
// the pages. Where no thread can be had, the working thread makes its pages
// itself, as it would without this.
#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <utility>

#include "platform/beside.h"

namespace zelfin {

class PagesAhead {
 public:
  PagesAhead();
  ~PagesAhead();  // stops the helper once the range it is making is made, and joins it
  PagesAhead(const PagesAhead&) = delete;
  PagesAhead& operator=(const PagesAhead&) = delete;

  // Brings the pages of [p, p + bytes) into being on the helper, soon;
  // returns at once. Ranges are asked a mebibyte or so at a time, so a stop
  // never waits long.
  void Ask(const void* p, size_t bytes);

 private:
  void Serve();

  std::mutex mutex_;
  std::condition_variable asked_;
  std::deque<std::pair<uintptr_t, uintptr_t>> todo_;  // [begin, end) by address
  bool stop_ = false;
  HelperThread helper_;  // last: its function uses the members above
};

// One growing table's end, kept a little ahead of the writes: once the end
// comes within a mebibyte of what was asked, the next mebibyte is asked for.
// So the pages made and not (yet) written stay within a huge page or two.
class GrowthAhead {
 public:
  explicit GrowthAhead(PagesAhead* pages) : pages_(pages) {}
  // The table's storage begins at data, holds used bytes and has room for
  // capacity bytes.
  void Grew(const void* data, size_t used, size_t capacity) {
    const uintptr_t begin = reinterpret_cast<uintptr_t>(data);
    if (begin != begin_) begin_ = asked_ = begin;  // a new block: nothing asked in it yet
    const uintptr_t end = begin + used, room_end = begin + capacity;
    if (pages_ == nullptr || end + kLead <= asked_ || asked_ >= room_end) return;
    const uintptr_t from = std::max(asked_, end);
    asked_ = std::min(room_end, from + kLead);
    pages_->Ask(reinterpret_cast<const void*>(from), asked_ - from);
  }

 private:
  static constexpr uintptr_t kLead = uintptr_t{1} << 20;
  PagesAhead* pages_;
  uintptr_t begin_ = 0, asked_ = 0;
};

}  // namespace zelfin
