#pragma once
// The groups that the user ticks, written into one file.
#include <functional>
#include <string>
#include <vector>

#include "platform/progress_sink.h"

namespace zelfin {

// Offers the group names (sorted) to the user; on confirmation sets
// selection[i] to whether name i is ticked and returns true. selection starts
// all false and has names.size() entries. Returning false writes nothing.
// It may raise a ZelfinError, which ends the run before anything is written.
using GroupChooser =
    std::function<bool(const std::vector<std::string>& names, std::vector<bool>& selection)>;

// What WriteSelectedGroups wrote: the file (empty when the chooser said no,
// and nothing was written) and how many groups were ticked.
struct SelectedGroupsWritten {
  std::string path;
  size_t ticked = 0;
};

// One file of the ticked groups: folder + base name + "_Selected.obj". The
// window gets its turns through progress.KeepResponsive(); nothing is shown.
// keep_materials as for DivideFile.
SelectedGroupsWritten WriteSelectedGroups(const std::string& path, const std::string& folder,
                                          const GroupChooser& SelectGroups, ProgressSink& progress,
                                          bool keep_materials = false);
SelectedGroupsWritten WriteSelectedGroups(const std::string& path, const std::string& folder,
                                          const GroupChooser& SelectGroups);

}  // namespace zelfin
