#include "division/divide_file.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "division/names_file_writer.h"
#include "division/obj_model.h"
#include "platform/errors.h"
#include "platform/heartbeat.h"
#include "platform/paths.h"
#include "platform/two_halves.h"
#include "platform/write_behind.h"

namespace zelfin {
namespace {

constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

// Files are made on two threads at once, each file whole on one of them, but
// each takes its name only after every file before it, and none after a file
// that failed: what stands in the folder after a run, and the failure told,
// are those of making the files one by one.
class InOrder {
 public:
  // Waits until file i may take its name; false when a file before it failed.
  // The waiting caller keeps the window breathing.
  bool AwaitTurn(uint32_t i, Heartbeat& heartbeat) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (done_ != i && failed_ > i) {
      turn_.wait_for(lock, std::chrono::milliseconds(20));
      lock.unlock();
      heartbeat.Beat(4096);
      lock.lock();
    }
    return failed_ > i;
  }
  void Done(uint32_t i) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = i + 1;
    }
    turn_.notify_all();
  }
  void Failed(uint32_t i, std::exception_ptr failure) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (i < failed_) {
        failed_ = i;
        failure_ = failure;
      }
    }
    turn_.notify_all();
  }
  bool Stopped(uint32_t i) {
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_ < i;
  }
  // Raises the failure of the first file that failed, if any did.
  void RaiseFailure() {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  std::mutex mutex_;
  std::condition_variable turn_;
  uint32_t done_ = 0;
  uint32_t failed_ = kNone;
  std::exception_ptr failure_;
};

struct DivisionRun {
  const ObjModel& model;
  const std::string& folder;
  const std::string& base;
  std::string_view keyword;
  uint32_t count;  // the files to make: the names before the first unsafe one
  std::atomic<uint32_t> next{0};
  InOrder order;
};

std::string OutputPath(const DivisionRun& run, uint32_t i) {
  return run.folder + run.base + "_" + run.model.ElementNames[i] + ".obj";
}

// Takes the next file to make until none is left; never raises.
void MakeFiles(DivisionRun& run, Renumbering& renumbering, Heartbeat& heartbeat) {
  WriteBehind out(false);
  for (uint32_t i = run.next++; i < run.count && !run.order.Stopped(i); i = run.next++) {
    try {
      const std::string& name = run.model.ElementNames[i];
      WriteNamesData(run.model, {i}, run.keyword, "#" + run.base + "_" + name, OutputPath(run, i),
                     renumbering, out, heartbeat);
      out.Flush();
      if (!run.order.AwaitTurn(i, heartbeat)) return;  // the file is dropped with out
      run.model.source.CheckUnchanged();               // nothing made of a file cut short stands
      out.Commit();
      run.order.Done(i);
    } catch (...) {
      run.order.Failed(i, std::current_exception());
      return;
    }
  }
}

uint32_t FirstUnsafeName(const ObjModel& model) {
  for (uint32_t i = 0; i < model.ElementNames.size(); ++i) {
    if (!IsSafeFileNamePiece(model.ElementNames[i])) return i;
  }
  return static_cast<uint32_t>(model.ElementNames.size());
}

}  // namespace

std::vector<std::string> DivideFile(const std::string& path, const std::string& folder,
                                    int32_t DivIndex, ProgressSink& progress) {
  Heartbeat heartbeat(progress);
  const ObjModel model = LoadOBJ(path, DivIndex, heartbeat);
  const std::string base(BaseName(path));
  DivisionRun run{
      model, folder, base, DivIndex == kDivMaterial ? "usemtl " : "g ", FirstUnsafeName(model),
      {0},   {}};
  Renumbering renumberings[2] = {Renumbering(model), Renumbering(model)};
  for (Renumbering& renumbering : renumberings) renumbering.cache_words /= 2;
  SilentProgress silent;  // the helper thread never touches the window
  RunHalvesTogether([&] { MakeFiles(run, renumberings[0], heartbeat); },
                    [&] {
                      Heartbeat quiet(silent);  // on the helper's own stack: beaten often
                      MakeFiles(run, renumberings[1], quiet);
                    });
  run.order.RaiseFailure();
  // A name must never lead the file out of the output folder: the files
  // before it stand, and the run ends there.
  if (run.count < model.ElementNames.size()) {
    RaiseCreateError(OutputPath(run, run.count), kUnsafeNameReason);
  }
  std::vector<std::string> written;
  for (uint32_t i = 0; i < run.count; ++i) written.push_back(OutputPath(run, i));
  return written;
}

std::vector<std::string> DivideFile(const std::string& path, const std::string& folder,
                                    int32_t DivIndex) {
  SilentProgress silent;
  return DivideFile(path, folder, DivIndex, silent);
}

}  // namespace zelfin
