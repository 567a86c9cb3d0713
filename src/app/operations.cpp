#include "app/operations.h"

#include <algorithm>
#include <chrono>

#include "division/divide_file.h"
#include "division/obj_model.h"
#include "simplify/simplify_file.h"

namespace zelfin {

double KeepRatio(int32_t DietIndex) {
  return static_cast<double>(100 - 5 * (DietIndex + 1)) / 100.0;
}

Operation OperationOf(const Settings& settings, GroupChooser SelectGroups) {
  Operation operation;
  operation.mode = static_cast<DivMode>(std::clamp(settings.DivIndex, 0, kMaxDivIndex));
  operation.keep_ratio = KeepRatio(settings.DietIndex);
  operation.method = settings.DietMethod == 1 ? SimplifyMethod::kRefined : SimplifyMethod::kClassic;
  operation.keep_materials = settings.KeepMaterials == 1;
  operation.SelectGroups = std::move(SelectGroups);
  return operation;
}

FileResult DispatchFile(const std::string& path, const std::string& folder,
                        const Operation& operation, ProgressSink& progress) {
  const auto start = std::chrono::steady_clock::now();
  FileResult result;
  result.mode = operation.mode;
  switch (operation.mode) {
    case DivMode::kMaterial:
      result.written = DivideFile(path, folder, kDivMaterial, progress, operation.keep_materials);
      break;
    case DivMode::kGroup:
      result.written = DivideFile(path, folder, kDivGroup, progress, operation.keep_materials);
      break;
    case DivMode::kGroupOption: {
      const SelectedGroupsWritten selected = WriteSelectedGroups(
          path, folder, operation.SelectGroups, progress, operation.keep_materials);
      if (!selected.path.empty()) result.written = {selected.path};
      result.ticked = selected.ticked;
      break;
    }
    case DivMode::kSimplify:
      result.simplified = SimplifyFile(path, folder, operation.keep_ratio, progress,
                                       operation.method, operation.simplify);
      result.written = {result.simplified->written};
      break;
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (result.simplified && result.simplified->deviation) {
    result.seconds -= result.simplified->deviation->seconds;
  }
  return result;
}

}  // namespace zelfin
