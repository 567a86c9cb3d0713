#pragma once
// Division by material or by group: one file per name.
#include <cstdint>
#include <string>

namespace zelfin {

// One file per material (DivIndex kDivMaterial) or per group (any other
// value): folder + base name + "_" + name + ".obj".
void DivideFile(const std::string& path, const std::string& folder, int32_t DivIndex);

}  // namespace zelfin
