#pragma once
// Runs two independent halves of a step at once: the second on a helper
// thread, the first on the caller's. Where no thread can be started (a tight
// process limit, little memory), both run here, one after the other, with the
// same results. An error of either half comes out on the caller's thread once
// both have ended, the first half's before the second's.
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace zelfin {

// while_waiting: called every few milliseconds while the caller waits for the
// helper to finish (to let the window have its turns).
template <typename First, typename Second, typename Waiting>
void RunHalvesTogether(First&& first, Second&& second, Waiting&& while_waiting) {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  std::exception_ptr first_error, second_error;
  std::thread helper;
  try {
    helper = std::thread([&] {
      try {
        second();
      } catch (...) {
        second_error = std::current_exception();
      }
      const std::lock_guard<std::mutex> lock(mutex);
      done = true;
      ended.notify_one();
    });
  } catch (const std::system_error&) {
    first();
    second();
    return;
  }
  try {
    first();
  } catch (...) {
    first_error = std::current_exception();
  }
  {
    std::unique_lock<std::mutex> lock(mutex);
    while (!ended.wait_for(lock, std::chrono::milliseconds(5), [&] { return done; })) {
      lock.unlock();
      while_waiting();
      lock.lock();
    }
  }
  helper.join();
  if (first_error) std::rethrow_exception(first_error);
  if (second_error) std::rethrow_exception(second_error);
}

template <typename First, typename Second>
void RunHalvesTogether(First&& first, Second&& second) {
  RunHalvesTogether(first, second, [] {});
}

}  // namespace zelfin
