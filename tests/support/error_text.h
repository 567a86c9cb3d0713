#pragma once
// What an operation raises, as text that a test can compare.
#include <exception>
#include <string>

namespace zelfin::test {

// The what() of the Error that fn raises, or "no error". Other exceptions
// pass through.
template <class Error = std::exception, class Fn>
std::string ErrorText(Fn&& fn) {
  try {
    fn();
  } catch (const Error& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace zelfin::test
