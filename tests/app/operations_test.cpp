#include "app/operations.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "support/files.h"
#include "support/lines.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::ListFolder;

TEST(KeepRatio, RunsFromNinetyFiveToFivePercent) {
  EXPECT_EQ(KeepRatio(0), 0.95);
  EXPECT_EQ(KeepRatio(1), 0.90);
  EXPECT_EQ(KeepRatio(18), 0.05);
}

TEST(OperationOf, KeepMaterialsFromTheSetting) {
  Settings settings;
  EXPECT_FALSE(OperationOf(settings, {}).keep_materials);
  settings.KeepMaterials = 1;
  EXPECT_TRUE(OperationOf(settings, {}).keep_materials);
}

TEST(DispatchFile, EachModeCallsItsOperation) {
  test::ScopedEnv locale("LC_ALL", "C");
  test::TempDir dir;
  const std::string input = dir.Path("m.obj");
  test::WriteBytes(
      input, test::Joined({"v 0 0 0", "v 1 0 0", "v 0 1 0", "usemtl red", "g grp", "f 1 2 3"}));
  SilentProgress progress;
  int chooser_calls = 0;
  const GroupChooser chooser = [&](const std::vector<std::string>&, std::vector<bool>&) {
    ++chooser_calls;
    return true;
  };
  const auto run = [&](DivMode mode) {
    test::TempDir out;
    const FileResult result =
        DispatchFile(input, out.Folder(), {mode, KeepRatio(0), chooser}, progress);
    // What it tells is what it wrote.
    std::string told;
    for (const std::string& path : result.written) {
      told += (told.empty() ? "" : " ") + std::string(ExtractFileName(path));
      EXPECT_EQ(path.rfind(out.Folder(), 0), 0u) << path;
    }
    EXPECT_EQ(told, ListFolder(out.Folder()));
    EXPECT_EQ(result.mode, mode);
    EXPECT_EQ(result.simplified.has_value(), mode == DivMode::kSimplify);
    return told;
  };
  EXPECT_EQ(run(DivMode::kMaterial), "m_red.obj");
  EXPECT_EQ(run(DivMode::kGroup), "m_grp.obj");
  EXPECT_EQ(chooser_calls, 0);
  EXPECT_EQ(run(DivMode::kGroupOption), "m_Selected.obj");
  EXPECT_EQ(chooser_calls, 1);
  EXPECT_EQ(run(DivMode::kSimplify), "m_Simplified95%.obj");
  EXPECT_EQ(chooser_calls, 1);
}

}  // namespace
}  // namespace zelfin
