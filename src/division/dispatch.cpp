#include "division/dispatch.h"

#include "simplify/simplify_file.h"

namespace zelfin {

double KeepRatio(int32_t DietIndex) {
  return static_cast<double>(100 - 5 * (DietIndex + 1)) / 100.0;
}

void DispatchFile(const std::string& path, const std::string& folder, int32_t DivIndex,
                  int32_t DietIndex, const GroupChooser& SelectGroups, ProgressSink& progress) {
  if (DivIndex == kDivSimplify) {
    SimplifyFile(path, folder, KeepRatio(DietIndex), progress);
  } else if (DivIndex == kDivGroupOption) {
    WriteSelectedGroups(path, folder, SelectGroups);
  } else {
    DivideFile(path, folder, DivIndex);
  }
}

}  // namespace zelfin
