#include "division/divide_file.h"

#include <string>
#include <vector>

#include "division/names_file_writer.h"
#include "division/obj_model.h"
#include "platform/errors.h"
#include "platform/heartbeat.h"
#include "platform/paths.h"
#include "platform/write_behind.h"

namespace zelfin {

void DivideFile(const std::string& path, const std::string& folder, int32_t DivIndex,
                ProgressSink& progress) {
  Heartbeat heartbeat(progress);
  const ObjModel model = LoadOBJ(path, DivIndex, heartbeat);
  const std::string base(BaseName(path));
  const std::string_view keyword = DivIndex == kDivMaterial ? "usemtl " : "g ";
  Renumbering renumbering(model);
  // File N is written out while file N + 1 is made.
  WriteBehind out;
  for (uint32_t i = 0; i < model.ElementNames.size(); ++i) {
    const std::string& name = model.ElementNames[i];
    const std::string out_path = folder + base + "_" + name + ".obj";
    // A name must never lead the file out of the output folder. The files
    // before it are complete first, and a failure among them is the one told.
    if (!IsSafeFileNamePiece(name)) {
      out.Finish();
      RaiseCreateError(out_path, kUnsafeNameReason);
    }
    WriteNamesFile(model, {i}, keyword, "#" + base + "_" + name, out_path, renumbering, out,
                   heartbeat);
  }
  out.Finish();
}

void DivideFile(const std::string& path, const std::string& folder, int32_t DivIndex) {
  SilentProgress silent;
  DivideFile(path, folder, DivIndex, silent);
}

}  // namespace zelfin
