#include "support/recording_sink.h"

#include <algorithm>

namespace zelfin::test {

std::vector<int> RecordingSink::Positions() const {
  std::vector<int> out;
  for (const std::string& c : calls) {
    if (c.rfind("pos:", 0) == 0) out.push_back(std::stoi(c.substr(4)));
  }
  return out;
}

int RecordingSink::Count(const std::string& call) const {
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

void RecordingSink::Record(std::string call) {
  calls.push_back(call);
  if (on_call) on_call(call);
}

}  // namespace zelfin::test
