#include "platform/beside.h"

namespace zelfin {

bool InOrder::AwaitTurn(uint32_t i, Heartbeat& heartbeat) {
  std::unique_lock<std::mutex> lock(mutex_);
  WaitGivingTurns(
      lock, turn_, [&] { return done_ == i || failed_ <= i; }, heartbeat);
  return failed_ > i;
}

void InOrder::Done(uint32_t i) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    done_ = i + 1;
  }
  turn_.notify_all();
}

void InOrder::Failed(uint32_t i, std::exception_ptr failure) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (i < failed_) {
      failed_ = i;
      failure_ = failure;
    }
  }
  turn_.notify_all();
}

bool InOrder::Stopped(uint32_t i) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return failed_ < i;
}

void InOrder::RaiseFailure() {
  std::exception_ptr failure;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    failure = failure_;
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace zelfin
