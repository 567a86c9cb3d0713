#pragma once
// What the simplification tells the user while it works. The window program
// implements it with a progress window, the CLI with a line on stderr, tests
// with a recorder.
#include <string>

namespace zelfin {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void Show() = 0;                                  // the run begins
  virtual void Hide() = 0;                                  // the run has ended, however it ended
  virtual void SetCaption(const std::string& caption) = 0;  // "Loading File..." and the like
  virtual void SetPosition(int position) = 0;               // bar position, 0..100 (may pass 100)
  virtual void ProcessMessages() = 0;                       // let the user interface breathe once
  // Between the marks of a long step (see Heartbeat): the same breath, with
  // nothing shown changing. Sinks without a window need not do anything.
  virtual void KeepResponsive() {}
};

// A sink that shows nothing.
class SilentProgress final : public ProgressSink {
 public:
  void Show() override {}
  void Hide() override {}
  void SetCaption(const std::string&) override {}
  void SetPosition(int) override {}
  void ProcessMessages() override {}
};

}  // namespace zelfin
