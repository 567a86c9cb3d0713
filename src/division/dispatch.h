#pragma once
// The division operations, and the dispatch of one file to the operation of
// the current mode.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "simplify/progress_sink.h"

namespace zelfin {

// Division modes (the setting DivIndex).
inline constexpr int32_t kDivMaterial = 0;
inline constexpr int32_t kDivGroup = 1;
inline constexpr int32_t kDivGroupOption = 2;
inline constexpr int32_t kDivSimplify = 3;

// Offers the group names (sorted) to the user; on confirmation sets
// selection[i] to whether name i is ticked and returns true. selection starts
// all false and has names.size() entries. Returning false writes nothing.
// It may raise a ZelfinError, which ends the run before anything is written.
using GroupChooser =
    std::function<bool(const std::vector<std::string>& names, std::vector<bool>& selection)>;

// One file per material (DivIndex 0) or per group (any other value):
// folder + base name + "_" + name + ".obj".
void DivideFile(const std::string& path, const std::string& folder, int32_t DivIndex);

// One file of the ticked groups: folder + base name + "_Selected.obj".
void WriteSelectedGroups(const std::string& path, const std::string& folder,
                         const GroupChooser& SelectGroups);

// The share of triangles that simplification strength DietIndex keeps:
// (100 - 5 * (DietIndex + 1)) / 100, so 0.95 down to 0.05.
double KeepRatio(int32_t DietIndex);

// Calls the one operation of DivIndex on path, writing into folder.
void DispatchFile(const std::string& path, const std::string& folder, int32_t DivIndex,
                  int32_t DietIndex, const GroupChooser& SelectGroups, ProgressSink& progress);

}  // namespace zelfin
