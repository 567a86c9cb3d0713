#pragma once
// Division by material or by group: one file per name.
#include <cstdint>
#include <string>

#include "platform/progress_sink.h"

namespace zelfin {

// One file per material (DivIndex kDivMaterial) or per group (any other
// value): folder + base name + "_" + name + ".obj". The window gets its turns
// through progress.KeepResponsive(); nothing is shown.
void DivideFile(const std::string& path, const std::string& folder, int32_t DivIndex,
                ProgressSink& progress);
void DivideFile(const std::string& path, const std::string& folder, int32_t DivIndex);

}  // namespace zelfin
