#include "platform/pages_ahead.h"

#include <new>

#include "platform/huge_pages.h"

namespace zelfin {

PagesAhead::PagesAhead() {
  helper_.Start([this] { Serve(); });
}

PagesAhead::~PagesAhead() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  asked_.notify_all();
  helper_.Join();
}

void PagesAhead::Ask(const void* p, size_t bytes) {
  if (!helper_.Started() || bytes == 0) return;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(p);
  try {
    const std::lock_guard<std::mutex> lock(mutex_);
    todo_.emplace_back(begin, begin + bytes);
  } catch (const std::bad_alloc&) {
    return;  // the thread that writes there makes these pages itself
  }
  asked_.notify_one();
}

void PagesAhead::Serve() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    asked_.wait(lock, [this] { return stop_ || !todo_.empty(); });
    if (stop_) return;
    const auto [begin, end] = todo_.front();
    todo_.pop_front();
    lock.unlock();
    PopulatePages(reinterpret_cast<const void*>(begin), end - begin, nullptr);
    lock.lock();
  }
}

}  // namespace zelfin
