#pragma once
// Keeps the window responsive inside a long loop without moving the bar: the
// loop calls Beat() once per unit of work (a line, a face); every few thousand
// beats the clock is read, and when 15 ms have passed since the window last
// had a turn, the sink's KeepResponsive() gives it one. A Heartbeat belongs
// to one thread: the window's, or a helper's own on a silent sink (see Lane in
// beside.h).
#include <chrono>
#include <cstdint>

#include "platform/progress_sink.h"

namespace zelfin {

class Heartbeat {
 public:
  explicit Heartbeat(ProgressSink& sink) : sink_(sink), last_(Clock::now()) {}

  void Beat() {
    if (--countdown_ == 0) Check();
  }

  // Units of work that one Beat() may stand for are many: call this after a
  // batch of n units done at once.
  void Beat(int64_t n) {
    countdown_ -= n < kBeatsPerCheck ? n : kBeatsPerCheck;
    if (countdown_ <= 0) Check();
  }

  // For a thread that waits rather than works: looks at the clock at once.
  void Idle() { Check(); }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr int64_t kBeatsPerCheck = 4096;
  static constexpr auto kInterval = std::chrono::milliseconds(15);

  void Check() {
    countdown_ = kBeatsPerCheck;
    const Clock::time_point now = Clock::now();
    if (now - last_ < kInterval) return;
    sink_.KeepResponsive();
    last_ = Clock::now();
  }

  ProgressSink& sink_;
  Clock::time_point last_;
  int64_t countdown_ = kBeatsPerCheck;
};

}  // namespace zelfin
