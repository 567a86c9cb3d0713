#pragma once
// A progress sink that records every call, for tests of what a run shows.
#include <functional>
#include <string>
#include <vector>

#include "platform/progress_sink.h"

namespace zelfin::test {

// Every call as one string, in order: "show", "hide", "caption:<text>",
// "pos:<n>", "msg".
class RecordingSink final : public ProgressSink {
 public:
  void Show() override { Record("show"); }
  void Hide() override { Record("hide"); }
  void SetCaption(const std::string& caption) override { Record("caption:" + caption); }
  void SetPosition(int position) override { Record("pos:" + std::to_string(position)); }
  void ProcessMessages() override { Record("msg"); }

  // The positions set, in order.
  std::vector<int> Positions() const;
  // How often call was recorded.
  int Count(const std::string& call) const;

  std::vector<std::string> calls;
  // Runs after every call is recorded, with its string: lets a test look at
  // the run in the middle, pump events or keep a log of its own.
  std::function<void(const std::string& call)> on_call;

 private:
  void Record(std::string call);
};

}  // namespace zelfin::test
