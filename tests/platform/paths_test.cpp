#include "platform/paths.h"

#include <gtest/gtest.h>

#include "platform/numbers.h"

namespace zelfin {
namespace {

TEST(Paths, ExtensionFolderAndBaseName) {
  EXPECT_EQ(ExtractFileExt("/m/cube.obj"), ".obj");
  EXPECT_EQ(ExtractFileExt("/m.d/cube"), "");  // the only dot is in a folder name
  EXPECT_EQ(ExtractFileExt("cube"), "");
  EXPECT_EQ(ExtractFilePath("/m/cube.obj"), "/m/");
  EXPECT_EQ(ExtractFilePath("cube.obj"), "");
  EXPECT_EQ(BaseName("/m/a.b.obj"), "a.b");
  EXPECT_EQ(BaseName("/m.d/cube"), "cube");
  EXPECT_EQ(BaseName("x_Simplified95%.obj"), "x_Simplified95%");
}

TEST(Paths, ObjExtensionInAnyCase) {
  EXPECT_TRUE(HasObjExtension("a.obj"));
  EXPECT_TRUE(HasObjExtension("dir/a.Obj"));
  EXPECT_TRUE(HasObjExtension("A.OBJ"));
  EXPECT_FALSE(HasObjExtension("a.obj.bak"));
  EXPECT_FALSE(HasObjExtension("obj"));
  EXPECT_FALSE(HasObjExtension("x.obj/readme"));
  EXPECT_FALSE(HasObjExtension("a.objx"));
}

TEST(Paths, NamesThatCannotStandInAFileName) {
  EXPECT_TRUE(IsSafeFileNamePiece("wood"));
  EXPECT_TRUE(IsSafeFileNamePiece("a..b"));
  EXPECT_FALSE(IsSafeFileNamePiece("../../x"));
  EXPECT_FALSE(IsSafeFileNamePiece("/tmp/x"));
  EXPECT_FALSE(IsSafeFileNamePiece("."));
  EXPECT_FALSE(IsSafeFileNamePiece(".."));
  EXPECT_FALSE(IsSafeFileNamePiece(std::string_view("a\0b", 3)));
}

TEST(Numbers, RoundHalfEven) {
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(2.5000000001), 3);
}

TEST(Numbers, ParseInteger) {
  int64_t v = 7;
  EXPECT_TRUE(ParseInteger("-12", v));
  EXPECT_EQ(v, -12);
  EXPECT_TRUE(ParseInteger("+3", v));
  EXPECT_EQ(v, 3);
  for (const char* bad : {"", "-", "1.0", "1e3", " 1", "0x10", "12a"}) {
    v = 7;
    EXPECT_FALSE(ParseInteger(bad, v)) << bad;
    EXPECT_EQ(v, 7);
  }
  EXPECT_TRUE(ParseInteger("99999999999999999999999", v));
  EXPECT_EQ(v, INT64_MAX);
  EXPECT_TRUE(ParseInteger("-9223372036854775808", v));
  EXPECT_EQ(v, INT64_MIN);
  EXPECT_TRUE(ParseInteger("9223372036854775807", v));
  EXPECT_EQ(v, INT64_MAX);
}

}  // namespace
}  // namespace zelfin
