#include "platform/late_close.h"

#include <unistd.h>

namespace zelfin {
namespace {

// Far below the usual limit of 1,024 open descriptors.
constexpr size_t kMostWaiting = 64;

}  // namespace

LateCloser::~LateCloser() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  helper_.Join();  // the helper closes all that waits before it ends
}

void LateCloser::Close(int fd) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!asked_) {
    asked_ = true;
    helper_.Start([this] { Loop(); });
  }
  if (!helper_.Started() || waiting_.size() >= kMostWaiting) {
    lock.unlock();
    close(fd);
    return;
  }
  waiting_.push_back(fd);
  lock.unlock();
  changed_.notify_all();
}

void LateCloser::Finish(Heartbeat& heartbeat) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!helper_.Started()) return;
  WaitGivingTurns(
      lock, changed_, [&] { return waiting_.empty() && !closing_; }, heartbeat);
}

void LateCloser::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return !waiting_.empty() || stop_; });
    if (waiting_.empty()) return;
    // One at a time, so that what is held stays within kMostWaiting.
    const int fd = waiting_.back();
    waiting_.pop_back();
    closing_ = true;
    lock.unlock();
    close(fd);
    lock.lock();
    closing_ = false;
    changed_.notify_all();
  }
}

}  // namespace zelfin
