#include "app/file_summary.h"

#include <gtest/gtest.h>

namespace zelfin {
namespace {

TEST(FileSummary, NumbersAsPrinted) {
  EXPECT_EQ(GroupedThousands(0), "0");
  EXPECT_EQ(GroupedThousands(999), "999");
  EXPECT_EQ(GroupedThousands(69451), "69,451");
  EXPECT_EQ(GroupedThousands(1002252), "1,002,252");
  EXPECT_EQ(TwoDigits(0), "0");
  EXPECT_EQ(TwoDigits(0.2906), "0.29");
  EXPECT_EQ(TwoDigits(0.0206), "0.021");
  EXPECT_EQ(TwoDigits(0.00073), "0.00073");
  EXPECT_EQ(TwoDigits(1.5), "1.5");
  EXPECT_EQ(TwoDigits(123.4), "123");
  EXPECT_EQ(TwoDigits(7.3e-9), "7.3e-09");
}

FileResult Simplified(int64_t in, int64_t out, int64_t target) {
  FileResult r;
  r.mode = DivMode::kSimplify;
  r.written = {"/o/bunny_Simplified10%.obj"};
  r.seconds = 0.2149;
  r.simplified = SimplifyResult{};
  r.simplified->method = SimplifyMethod::kRefined;
  r.simplified->written = r.written.front();
  r.simplified->triangles_in = in;
  r.simplified->triangles_out = out;
  r.simplified->target = target;
  return r;
}

TEST(FileSummary, SimplificationWithAndWithoutDeviation) {
  FileResult r = Simplified(69451, 6945, 6945);
  EXPECT_EQ(SummaryLine("bunny.obj", r),
            "bunny.obj \u2192 bunny_Simplified10%.obj: 69,451 \u2192 6,945 triangles in 0.21 s");
  EXPECT_EQ(ShortfallNotice("bunny.obj", r), "");
  Deviation d;
  d.diagonal = 0.252;
  d.max = 0.000731;    // 0.29% of the diagonal
  d.mean = 0.0000519;  // 0.0206%
  r.simplified->deviation = d;
  EXPECT_EQ(SummaryLine("bunny.obj", r),
            "bunny.obj \u2192 bunny_Simplified10%.obj: 69,451 \u2192 6,945 triangles in 0.21 s; "
            "deviation max 0.29%, mean 0.021% of the size (max 0.00073 units)");
  r.simplified->deviation.reset();
  r.simplified->unmeasured = true;
  EXPECT_NE(SummaryLine("bunny.obj", r).find("; deviation not measured (out of memory)"),
            std::string::npos);
}

TEST(FileSummary, ShortOfTheTargetIsANotice) {
  FileResult r = Simplified(69451, 6950, 6945);
  EXPECT_EQ(ShortfallNotice("scan.obj", r),
            "scan.obj: reached 6,950 triangles, not 6,945: no further contraction keeps the "
            "surface sound");
  r.simplified->method = SimplifyMethod::kClassic;
  EXPECT_EQ(ShortfallNotice("scan.obj", r),
            "scan.obj: reached 6,950 triangles, not 6,945: no edge is left to contract");
  r.simplified->budget = true;  // the keep ratio was a floor, not a target
  EXPECT_EQ(ShortfallNotice("scan.obj", r), "");
}

TEST(FileSummary, DivisionsAndNothingWritten) {
  FileResult r;
  r.seconds = 0.125;
  r.written = {"/o/scene_wood.obj"};
  EXPECT_EQ(SummaryLine("in/scene.obj", r), "in/scene.obj \u2192 scene_wood.obj in 0.12 s");
  r.written = std::vector<std::string>(1234, "/o/x.obj");
  EXPECT_EQ(SummaryLine("scene.obj", r), "scene.obj \u2192 1,234 files in 0.12 s");
  r.written.clear();
  EXPECT_EQ(SummaryLine("bunny.obj", r), "bunny.obj: no materials; nothing written");
  r.mode = DivMode::kGroup;
  EXPECT_EQ(SummaryLine("bunny.obj", r), "bunny.obj: no groups; nothing written");
  r.mode = DivMode::kGroupOption;
  EXPECT_EQ(SummaryLine("bunny.obj", r), "bunny.obj: cancelled; nothing written");
  r.written = {"scene_Selected.obj"};
  EXPECT_EQ(SummaryLine("scene.obj", r),
            "scene.obj \u2192 scene_Selected.obj: no group ticked (only the header line)");
  r.ticked = 2;
  EXPECT_EQ(SummaryLine("scene.obj", r), "scene.obj \u2192 scene_Selected.obj: 2 groups in 0.12 s");
}

}  // namespace
}  // namespace zelfin
