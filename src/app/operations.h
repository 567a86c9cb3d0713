#pragma once
// The operations of the four modes, and the dispatch of one file to the
// operation that the user chose. The window and zelfin-cli both come here.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/settings.h"
#include "division/selected_groups.h"
#include "platform/progress_sink.h"
#include "simplify/simplify_file.h"
#include "simplify/simplify_method.h"

namespace zelfin {

// The modes, numbered as the setting DivIndex numbers them.
enum class DivMode : int32_t { kMaterial = 0, kGroup = 1, kGroupOption = 2, kSimplify = 3 };

// What to do with a file.
struct Operation {
  DivMode mode = DivMode::kMaterial;
  double keep_ratio = 0.95;   // kSimplify: the share of the triangles that is kept
  GroupChooser SelectGroups;  // kGroupOption: ticks the groups; none writes nothing
  SimplifyMethod method = SimplifyMethod::kClassic;  // kSimplify
  bool keep_materials = false;                       // the divisions: mtllib and usemtl lines kept
  SimplifyOptions simplify{};                        // kSimplify: measuring, a deviation budget
};

// What an operation did with a file.
struct FileResult {
  DivMode mode = DivMode::kMaterial;
  std::vector<std::string> written;  // the files written, in order
  size_t ticked = 0;                 // kGroupOption: the groups ticked
  double seconds = 0;                // the operation's time, measuring the deviation left out
  std::optional<SimplifyResult> simplified;  // kSimplify
};

// The share of triangles that simplification strength DietIndex keeps:
// (100 - 5 * (DietIndex + 1)) / 100, so 0.95 down to 0.05.
double KeepRatio(int32_t DietIndex);

// The operation that the settings choose (DivIndex, DietIndex, DietMethod,
// KeepMaterials).
Operation OperationOf(const Settings& settings, GroupChooser SelectGroups);

// Calls the operation on path, writing into folder (ends in "/", or is empty
// for the current folder), and tells what it wrote. progress sees a
// simplification's steps; a division only gives the window its turns through
// it.
FileResult DispatchFile(const std::string& path, const std::string& folder,
                        const Operation& operation, ProgressSink& progress);

}  // namespace zelfin
