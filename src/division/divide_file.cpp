#include "division/divide_file.h"

#include <string>
#include <vector>

#include "division/names_file_writer.h"
#include "division/obj_model.h"
#include "platform/errors.h"
#include "platform/paths.h"

namespace zelfin {

void DivideFile(const std::string& path, const std::string& folder, int32_t DivIndex) {
  const ObjModel model = LoadOBJ(path, DivIndex);
  const std::string base(BaseName(path));
  const std::string_view keyword = DivIndex == kDivMaterial ? "usemtl " : "g ";
  Renumbering renumbering(model);
  for (uint32_t i = 0; i < model.ElementNames.size(); ++i) {
    const std::string& name = model.ElementNames[i];
    const std::string out_path = folder + base + "_" + name + ".obj";
    // A name must never lead the file out of the output folder.
    if (!IsSafeFileNamePiece(name)) RaiseCreateError(out_path, kUnsafeNameReason);
    WriteNamesFile(model, {i}, keyword, "#" + base + "_" + name, out_path, renumbering);
  }
}

}  // namespace zelfin
