#include "app/operations.h"

#include <algorithm>

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

void DispatchFile(const std::string& path, const std::string& folder, const Operation& operation,
                  ProgressSink& progress) {
  switch (operation.mode) {
    case DivMode::kMaterial:
      DivideFile(path, folder, kDivMaterial, progress, operation.keep_materials);
      break;
    case DivMode::kGroup:
      DivideFile(path, folder, kDivGroup, progress, operation.keep_materials);
      break;
    case DivMode::kGroupOption:
      WriteSelectedGroups(path, folder, operation.SelectGroups, progress, operation.keep_materials);
      break;
    case DivMode::kSimplify:
      SimplifyFile(path, folder, operation.keep_ratio, progress, operation.method);
      break;
  }
}

}  // namespace zelfin
