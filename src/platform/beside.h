#pragma once
// Work beside the window: the one way Zelfin runs work on a second thread.
//
// Only the thread that calls in (the window's, in the window program) may give
// the window a turn, through its ProgressSink and Heartbeat. Every helper here
// keeps the same rules:
//  - A piece of work learns from its Lane whether it runs on that thread, and
//    beats the Lane's heartbeat: the caller's on the caller's thread, a silent
//    one of its own on a helper thread. Nothing else asks which thread it is.
//  - Whenever the caller waits for a helper it gives the window its turns
//    (WaitGivingTurns: the heartbeat every few milliseconds, so a turn every
//    15 ms), however long the wait.
//  - Where no thread can be started (a tight process limit, little memory),
//    the work runs on the caller's thread, one piece after the other, with
//    the same results.
//  - An error of a piece comes back to the caller once no helper runs any
//    more: the one that doing the pieces one after the other would meet first.
//  - No path ends the program: a helper thread is joined whatever raises
//    (either piece, the waiting caller's heartbeat), at the latest when its
//    HelperThread goes.
//
// RunBeside runs the two halves of a step at once. InOrder lets items made on
// two threads take effect in their order. WriteBehind (write_behind.h) writes
// files on a helper thread while the caller makes the next; it waits and
// starts its thread with the same two tools, WaitGivingTurns and HelperThread.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/heartbeat.h"
#include "platform/huge_pages.h"
#include "platform/progress_sink.h"

namespace zelfin {

// What a piece of work knows of the thread it runs on.
struct Lane {
  Heartbeat& heartbeat;  // beat it per unit of work; on a helper thread it is silent
  bool window_thread;    // the caller's thread: the only one that may touch the window
};

// How often a waiting caller looks up from its wait.
inline constexpr std::chrono::milliseconds kWaitSlice{5};

namespace beside_detail {

// Waits on changed until done() holds, calling pump() between slices. Should
// pump raise, lock is left unlocked.
template <class Done, class Pump>
void WaitPumping(std::unique_lock<std::mutex>& lock, std::condition_variable& changed, Done&& done,
                 Pump&& pump) {
  while (!changed.wait_for(lock, kWaitSlice, done)) {
    lock.unlock();
    pump();
    lock.lock();
  }
}

}  // namespace beside_detail

// Waits on changed (under lock) until done() holds, giving the window its
// turns through heartbeat meanwhile: heartbeat must be the waiting thread's
// (its Lane's). Should the heartbeat raise, lock is left unlocked.
template <class Done>
void WaitGivingTurns(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                     Done&& done, Heartbeat& heartbeat) {
  beside_detail::WaitPumping(lock, changed, std::forward<Done>(done), [&] { heartbeat.Idle(); });
}

// One function run on a thread of its own, which is always joined: by Wait,
// or else by Join or the destructor (which wait without giving turns).
class HelperThread {
 public:
  HelperThread() = default;
  ~HelperThread() { Join(); }
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

  // Runs fn() on a new thread and returns true; returns false, with nothing
  // run, where no thread can be had. What fn raises is kept for Wait.
  template <class Fn>
  bool Start(Fn&& fn) {
    try {
      thread_ = std::thread([this, fn = std::forward<Fn>(fn)]() mutable {
        std::exception_ptr error;
        try {
          fn();
        } catch (...) {
          error = std::current_exception();
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        error_ = error;
        done_ = true;
        ended_.notify_all();
      });
    } catch (...) {
      return false;  // std::system_error, or no memory for the thread's state
    }
    return true;
  }

  bool Started() const { return thread_.joinable(); }

  // Waits until fn has returned, calling pump() every few milliseconds, and
  // returns what fn raised (null if nothing). Should pump raise, the thread is
  // joined before that error leaves.
  template <class Pump>
  std::exception_ptr Wait(Pump&& pump) {
    if (thread_.joinable()) {
      try {
        std::unique_lock<std::mutex> lock(mutex_);
        beside_detail::WaitPumping(
            lock, ended_, [this] { return done_; }, pump);
      } catch (...) {
        Join();
        throw;
      }
      Join();
    }
    return error_;
  }

  void Join() noexcept {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::exception_ptr error_;
  std::thread thread_;  // last: its function uses the members above
};

namespace beside_detail {

template <class Piece>
void Call(Piece& piece, const Lane& lane) {
  if constexpr (std::is_invocable_v<Piece&, const Lane&>) {
    piece(lane);
  } else {
    piece();
  }
}

template <class Pump, class First, class Second>
void RunBesideWith(Heartbeat& heartbeat, Pump&& pump, First& first, Second& second) {
  const Lane caller{heartbeat, true};
  HelperThread helper;
  const bool started = helper.Start([&second] {
    SilentProgress silent;
    Heartbeat quiet(silent);  // the helper's own: a Heartbeat belongs to one thread
    Call(second, Lane{quiet, false});
  });
  if (!started) {
    Call(first, caller);
    Call(second, caller);
    return;
  }
  std::exception_ptr first_error, pump_error, second_error;
  try {
    Call(first, caller);
  } catch (...) {
    first_error = std::current_exception();
  }
  try {
    second_error = helper.Wait(pump);
  } catch (...) {
    pump_error = std::current_exception();
  }
  for (const std::exception_ptr& error : {first_error, pump_error, second_error}) {
    if (error) std::rethrow_exception(error);
  }
}

}  // namespace beside_detail

// Runs first on the calling thread and second on a helper thread at once
// (both here, one after the other, where no thread can be had), and returns
// once both have ended. Each is called with its Lane, or with nothing if it
// takes none. While the caller waits for the helper, heartbeat gives the
// window its turns. Raises the first half's error, else the heartbeat's,
// else the second half's.
template <class First, class Second>
void RunBeside(Heartbeat& heartbeat, First&& first, Second&& second) {
  beside_detail::RunBesideWith(
      heartbeat, [&heartbeat] { heartbeat.Idle(); }, first, second);
}

// Grows v to n value-initialised elements on a helper thread while the caller
// gives the window its turns: bringing hundreds of megabytes into being takes
// the kernel long enough to be felt (zeroing, and for huge pages compacting
// memory), and none of it needs the caller's thread. v must be left alone
// meanwhile.
template <class T>
void ResizeBeside(std::vector<T>& v, size_t n, Heartbeat& heartbeat) {
  RunBeside(
      heartbeat, [] {}, [&](const Lane& lane) { GrowInPieces(v, n, T{}, &lane.heartbeat); });
}

// Items 0, 1, 2, ... made on several threads at once, each taking effect
// (a rename, say) only after every item before it, and none after an item
// that failed: what stands afterwards, and the failure told, are those of
// making the items one by one.
class InOrder {
 public:
  // Waits until item i may take effect, giving turns through heartbeat (the
  // waiting thread's); false when an item before it failed.
  bool AwaitTurn(uint32_t i, Heartbeat& heartbeat);
  // Item i took effect.
  void Done(uint32_t i);
  // Item i failed: no item after it takes effect.
  void Failed(uint32_t i, std::exception_ptr failure);
  // Whether an item before i failed, so that i need not be made.
  bool Stopped(uint32_t i);
  // Raises the failure of the first item that failed, if any did.
  void RaiseFailure();

 private:
  static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
  std::mutex mutex_;
  std::condition_variable turn_;
  uint32_t done_ = 0;  // items before it took effect
  uint32_t failed_ = kNone;
  std::exception_ptr failure_;
};

}  // namespace zelfin
