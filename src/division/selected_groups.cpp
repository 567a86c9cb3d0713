#include "division/selected_groups.h"

#include <string>
#include <vector>

#include "division/names_file_writer.h"
#include "division/obj_model.h"
#include "platform/heartbeat.h"
#include "platform/paths.h"
#include "platform/write_behind.h"

namespace zelfin {

SelectedGroupsWritten WriteSelectedGroups(const std::string& path, const std::string& folder,
                                          const GroupChooser& SelectGroups, ProgressSink& progress,
                                          bool keep_materials) {
  Heartbeat heartbeat(progress);
  const ObjModel model = LoadOBJ(path, kDivGroupOption, heartbeat, keep_materials);
  std::vector<bool> selection(model.ElementNames.size(), false);
  // Cancelled, or no one to ask: nothing is written.
  if (!SelectGroups || !SelectGroups(model.ElementNames, selection)) return {};

  std::vector<uint32_t> ticked;
  for (uint32_t i = 0; i < model.ElementNames.size() && i < selection.size(); ++i) {
    if (selection[i]) ticked.push_back(i);
  }
  const std::string base(BaseName(path));
  Renumbering renumbering(model);
  WriteBehind out(heartbeat);
  std::vector<std::string> libraries;
  const NamesFileStyle style = StyleOf(model, "g ", keep_materials, path, folder, libraries);
  SelectedGroupsWritten written{folder + base + "_Selected.obj", ticked.size()};
  // The one file has both cores.
  WriteNamesFile(model, ticked, style, "#" + base + "_Selected", written.path, renumbering, out,
                 heartbeat, kTwoCoreStretch);
  out.Finish();
  return written;
}

SelectedGroupsWritten WriteSelectedGroups(const std::string& path, const std::string& folder,
                                          const GroupChooser& SelectGroups) {
  SilentProgress silent;
  return WriteSelectedGroups(path, folder, SelectGroups, silent);
}

}  // namespace zelfin
