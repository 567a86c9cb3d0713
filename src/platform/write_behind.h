#pragma once
// Files written behind the caller's back: the caller fills buffers with the
// data of one file after another, and a helper thread writes each buffer out
// through an AtomicFileWriter while the caller fills the next, so that making
// the data and the system's work of storing it take a core each. Where no
// thread can be started, the caller's own calls write, with the same results.
// It keeps the rules of beside.h: while the caller waits for the helper (for a
// free buffer, in Finish) the window has its turns, a failure of the helper
// comes back to the caller, and the thread is always joined.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/beside.h"
#include "platform/heartbeat.h"
#include "platform/text_file.h"

namespace zelfin {

class WriteBehind {
 public:
  // The bytes that one Room() call may ask for at most.
  static constexpr size_t kLargestRoom = size_t{1} << 16;

  // Who writes: a helper thread, or the caller's own calls (for a thread
  // that makes files beside another doing the same).
  enum class Writer { kHelper, kCaller };

  // heartbeat: the calling thread's (its Lane's), beaten while it waits.
  // replaced: where the files that the new ones replace are let go of
  // (AtomicFileWriter::Commit); it must outlive this.
  explicit WriteBehind(Heartbeat& heartbeat, Writer writer = Writer::kHelper,
                       LateCloser* replaced = nullptr);
  // A file begun and not committed is dropped (its temporary vanishes); the
  // files committed before it are completed first. Failures are not raised.
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Starts the next file; the one before must have been committed.
  void Begin(const std::string& path);
  // Room for n more bytes (n <= kLargestRoom) of the current file: write
  // there, then call Used with the end of what was written.
  char* Room(size_t n) {
    if (static_cast<size_t>(limit_ - end_) < n) NextBuffer();
    return end_;
  }
  void Used(char* end) { end_ = end; }
  void Append(std::string_view data);
  // Hands what the current file holds so far over to be written.
  void Flush() {
    if (end_ != begin_) NextBuffer();
  }
  // The current file is complete: it takes its name once written.
  void Commit();
  // Waits until every committed file stands under its name. Raises the first
  // failure of writing any of them (as AtomicFileWriter raises it); a failure
  // may also be raised by Begin, Room, Append or Commit, as soon as it is seen.
  void Finish();

 private:
  struct Job {
    enum Kind { kBegin, kData, kCommit, kDrop } kind;
    std::string path;      // kBegin
    char* data = nullptr;  // kData: a buffer, returned to the free list once written
    size_t size = 0;
  };

  void NextBuffer();
  void Submit(Job job);
  void RaiseFailure();
  void Do(const Job& job);
  void HelperLoop();

  std::vector<std::unique_ptr<char[]>> buffers_;
  char* begin_ = nullptr;  // the buffer being filled
  char* end_ = nullptr;
  char* limit_ = nullptr;
  size_t buffer_size_;
  LateCloser* replaced_;

  Heartbeat& heartbeat_;
  std::unique_ptr<AtomicFileWriter> writer_;  // the file being written (the helper's)
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;
  std::vector<char*> free_;
  bool stop_ = false;
  bool busy_ = false;           // the helper is doing a job
  std::exception_ptr failure_;  // the first failure of the helper
  HelperThread helper_;         // last: joined first; not started: the caller writes
};

}  // namespace zelfin
