#pragma once
// The progress of one step of a long run: about twenty marks over its units
// of work, at which the bar moves within the step's band and the window gets
// to process its pending messages.
#include <cstdint>

#include "platform/numbers.h"
#include "platform/progress_sink.h"

namespace zelfin {

class ProgressMarks {
 public:
  // count units of work; the step between marks is count / 20 rounded half to
  // even, or count itself when that is below least_step. The bar runs over
  // first .. first + width.
  ProgressMarks(int64_t count, int64_t least_step, int first, int width)
      : count_(count), first_(first), width_(width) {
    step_ = RoundHalfEven(static_cast<double>(count) / 20);
    if (step_ < least_step) step_ = count;
    next_ = step_;
  }

  int64_t Next() const { return next_; }
  bool Due(int64_t done) const { return done >= next_; }

  // At a mark: the bar to done / count of the band, one round of messages,
  // and on to the next mark.
  void Report(int64_t done, ProgressSink& progress) {
    progress.SetPosition(static_cast<int>(
        RoundHalfEven(static_cast<double>(done) / static_cast<double>(count_) * width_ + first_)));
    progress.ProcessMessages();
    next_ += step_;
  }

 private:
  int64_t count_;
  int first_, width_;
  int64_t step_ = 0, next_ = 0;
};

}  // namespace zelfin
