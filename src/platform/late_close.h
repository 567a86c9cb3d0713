#pragma once
// Files let go of on a helper thread. A file replaced by a rename frees its
// blocks when the last reference to it goes: in the rename itself when no one
// holds it open. On a file system that discards freed blocks on the spot
// (ext4 mounted with "discard"), that is a wait on the disk for every file
// replaced, which a division into hundreds of files over the last run's
// meets hundreds of times. A writer that holds the old file open across the
// rename and hands it over here lets a helper wait instead.
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

#include "platform/beside.h"
#include "platform/heartbeat.h"

namespace zelfin {

class LateCloser {
 public:
  LateCloser() = default;
  // Closes what is left, waiting without giving turns: Finish first.
  ~LateCloser();
  LateCloser(const LateCloser&) = delete;
  LateCloser& operator=(const LateCloser&) = delete;

  // Takes fd over and closes it soon on the helper; at once where no thread
  // can be had or many wait already (a process may hold only so many). Any
  // thread may call it.
  void Close(int fd);
  // Waits until every descriptor handed over is closed, giving the window its
  // turns through heartbeat (the calling thread's).
  void Finish(Heartbeat& heartbeat);

 private:
  void Loop();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int> waiting_;
  bool closing_ = false;  // the helper is closing what it took
  bool asked_ = false;    // a thread was asked for (helper_ tells whether one came)
  bool stop_ = false;
  HelperThread helper_;  // last: joined first
};

}  // namespace zelfin
