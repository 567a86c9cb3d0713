#include <gtest/gtest.h>

#include "division/selected_groups.h"
#include "platform/errors.h"
#include "support/files.h"
#include "support/lines.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::Joined;
using test::ListFolder;
using Names = std::vector<std::string>;

class SelectedGroupsTest : public ::testing::Test {
 protected:
  // Runs with a chooser that ticks the given names (or cancels), recording
  // what it was offered.
  void Select(const std::string& input, const Names& ticked, bool confirm = true) {
    test::WriteBytes(dir_.Path("cube.obj"), input);
    WriteSelectedGroups(dir_.Path("cube.obj"), dir_.Folder(),
                        [&](const Names& names, std::vector<bool>& selection) {
                          offered_ = names;
                          offered_ticks_ = selection;
                          for (size_t i = 0; i < names.size(); ++i) {
                            for (const auto& t : ticked) {
                              if (names[i] == t) selection[i] = true;
                            }
                          }
                          return confirm;
                        });
  }
  std::string Output() { return test::ReadBytes(dir_.Path("cube_Selected.obj")); }

  test::ScopedEnv locale_{"LC_ALL", "C"};
  test::TempDir dir_;
  Names offered_;
  std::vector<bool> offered_ticks_;
};

const std::string kCube =
    Joined({"v 0 0 0", "v 1 0 0", "v 1 1 0", "v 0 1 0", "g top", "f 1 2 3", "g side", "f 2 3 4"});

TEST_F(SelectedGroupsTest, WorkedExample) {
  Select(kCube, {"side", "top"});
  EXPECT_EQ(offered_, (Names{"side", "top"}));
  EXPECT_EQ(offered_ticks_, (std::vector<bool>{false, false}));
  // The vertices that both groups use are written once.
  EXPECT_EQ(Output(), Joined({"#cube_Selected", "v 0 0 0", "v 1 0 0", "v 1 1 0", "v 0 1 0",
                              "g side", "f 2 3 4", "g top", "f 1 2 3"}));

  Select(kCube, {"side"});
  EXPECT_EQ(offered_ticks_, (std::vector<bool>{false, false}));
  EXPECT_EQ(Output(),
            Joined({"#cube_Selected", "v 1 0 0", "v 1 1 0", "v 0 1 0", "g side", "f 1 2 3"}));

  Select(kCube, {});
  EXPECT_EQ(Output(), "#cube_Selected\r\n");
}

TEST_F(SelectedGroupsTest, CancelWritesNothingAndKeepsAnOlderOutput) {
  Select(kCube, {"top"}, false);
  EXPECT_EQ(ListFolder(dir_.Folder()), "cube.obj");
  test::WriteBytes(dir_.Path("cube_Selected.obj"), "older");
  Select(kCube, {"top"}, false);
  EXPECT_EQ(Output(), "older");
}

TEST_F(SelectedGroupsTest, EarlyFacesBelongToTheFirstSortedGroupAndMaterialsAreDropped) {
  Select(Joined({"v 0 0 0", "v 1 0 0", "vt 0 0", "f 1/1 2/1 1/1", "usemtl red", "g zed", "f 2 2 2",
                 "g alpha", "g empty"}),
         {"alpha", "empty"});
  EXPECT_EQ(offered_, (Names{"alpha", "empty", "zed"}));
  EXPECT_EQ(Output(), Joined({"#cube_Selected", "v 0 0 0", "v 1 0 0", "vt 0 0", "g alpha",
                              "f 1/1 2/1 1/1", "g empty"}));
}

TEST_F(SelectedGroupsTest, ErrorsComeBeforeTheChooser) {
  bool asked = false;
  const auto chooser = [&](const Names&, std::vector<bool>&) { return asked = true; };
  EXPECT_THROW(WriteSelectedGroups(dir_.Path("missing.obj"), dir_.Folder(), chooser), ZelfinError);
  test::WriteBytes(dir_.Path("bad.obj"), "g a\nf 1 2 3\n");
  EXPECT_THROW(WriteSelectedGroups(dir_.Path("bad.obj"), dir_.Folder(), chooser), ZelfinError);
  EXPECT_FALSE(asked);
  EXPECT_EQ(ListFolder(dir_.Folder()), "bad.obj");
}

}  // namespace
}  // namespace zelfin
