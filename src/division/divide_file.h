#pragma once
// Division by material or by group: one file per name.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/progress_sink.h"

namespace zelfin {

// One file per material (DivIndex kDivMaterial) or per group (any other
// value): folder + base name + "_" + name + ".obj". The window gets its turns
// through progress.KeepResponsive(); nothing is shown. keep_materials: each
// file also carries the input's mtllib lines (found from folder, see
// MaterialLibraryLines) after its header and, by group, a usemtl line before
// each run of its faces of one material. Returns the paths of the files
// written, in the order of the names: none when the file has no material (no
// group).
std::vector<std::string> DivideFile(const std::string& path, const std::string& folder,
                                    int32_t DivIndex, ProgressSink& progress,
                                    bool keep_materials = false);
std::vector<std::string> DivideFile(const std::string& path, const std::string& folder,
                                    int32_t DivIndex);

}  // namespace zelfin
