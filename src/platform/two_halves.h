#pragma once
// Runs two independent halves of a step at once: the second on a helper
// thread, the first on the caller's. Where no thread can be started (a tight
// process limit, little memory), both run here, one after the other, with the
// same results.
#include <system_error>
#include <thread>

namespace zelfin {

template <typename First, typename Second>
void RunHalvesTogether(First&& first, Second&& second) {
  std::thread helper;
  try {
    helper = std::thread(second);
  } catch (const std::system_error&) {
    first();
    second();
    return;
  }
  first();
  helper.join();
}

}  // namespace zelfin
