#pragma once
// An environment variable set, or unset, for the life of the object.
#include <string>

namespace zelfin::test {

class ScopedEnv {
 public:
  // value nullptr unsets the variable.
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_, old_;
  bool had_ = false;
};

}  // namespace zelfin::test
