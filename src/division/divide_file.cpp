#include "division/divide_file.h"

#include <atomic>
#include <string>
#include <vector>

#include "division/names_file_writer.h"
#include "division/obj_model.h"
#include "platform/beside.h"
#include "platform/errors.h"
#include "platform/heartbeat.h"
#include "platform/late_close.h"
#include "platform/paths.h"
#include "platform/write_behind.h"

namespace zelfin {
namespace {

struct DivisionRun {
  const ObjModel& model;
  const std::string& folder;
  const std::string& base;
  NamesFileStyle style;
  uint32_t count;  // the files to make: the names before the first unsafe one
  std::atomic<uint32_t> next{0};
  // Files are made on two threads at once, each file whole on one of them,
  // and take their names in order: what stands in the folder after a run, and
  // the failure told, are those of making the files one by one.
  InOrder order;
};

std::string OutputPath(const DivisionRun& run, uint32_t i) {
  return run.folder + run.base + "_" + run.model.ElementNames[i] + ".obj";
}

// Takes the next file to make until none is left; never raises.
void MakeFiles(DivisionRun& run, Renumbering& renumbering, LateCloser& replaced, const Lane& lane) {
  Heartbeat& heartbeat = lane.heartbeat;
  WriteBehind out(heartbeat, WriteBehind::Writer::kCaller, &replaced);
  for (uint32_t i = run.next++; i < run.count && !run.order.Stopped(i); i = run.next++) {
    try {
      const std::string& name = run.model.ElementNames[i];
      // A file alone has both cores.
      WriteNamesData(run.model, {i}, run.style, "#" + run.base + "_" + name, OutputPath(run, i),
                     renumbering, out, heartbeat, run.count == 1 ? kTwoCoreStretch : 0);
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
                                    int32_t DivIndex, ProgressSink& progress, bool keep_materials) {
  Heartbeat heartbeat(progress);
  const ObjModel model = LoadOBJ(path, DivIndex, heartbeat, keep_materials);
  const std::string base(BaseName(path));
  std::vector<std::string> libraries;
  const NamesFileStyle style = StyleOf(model, DivIndex == kDivMaterial ? "usemtl " : "g ",
                                       keep_materials, path, folder, libraries);
  DivisionRun run{model, folder, base, style, FirstUnsafeName(model), {0}, {}};
  Renumbering renumberings[2] = {Renumbering(model), Renumbering(model)};
  // Last run's outputs, replaced, are let go of on a thread of their own.
  LateCloser replaced;
  RunBeside(
      heartbeat, [&](const Lane& lane) { MakeFiles(run, renumberings[0], replaced, lane); },
      [&](const Lane& lane) { MakeFiles(run, renumberings[1], replaced, lane); });
  replaced.Finish(heartbeat);
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
