#include "division/element_names.h"

#include <gtest/gtest.h>

namespace zelfin {
namespace {

TEST(NameOfLine, MaterialTakesSecondTokenGroupJoinsTheRest) {
  EXPECT_EQ(NameOfLine("usemtl a b", true), "a");
  EXPECT_EQ(NameOfLine("g left    arm", false), "left arm");
  EXPECT_EQ(NameOfLine(R"(g "left  arm" x)", false), "left  arm x");
  EXPECT_EQ(GroupNameOf({"g"}), "");
}

}  // namespace
}  // namespace zelfin
