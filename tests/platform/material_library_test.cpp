#include "platform/material_library.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace zelfin {
namespace {

using Lines = std::vector<std::string>;

// A project folder with models/ (the input's folder, holding its libraries)
// and out/ beside it.
class MaterialLibraryLinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mkdir(dir_.Path("models").c_str(), 0777);
    mkdir(dir_.Path("models/mats").c_str(), 0777);
    mkdir(dir_.Path("out").c_str(), 0777);
    for (const char* name :
         {"models/scene.mtl", "models/my scene.mtl", "models/b.mtl", "models/mats/wood.mtl"}) {
      dir_.Write(name, "newmtl m\n");
    }
  }
  Lines For(const std::string& line, const std::string& output = "out/") {
    return MaterialLibraryLines(line, dir_.Path("models/"), dir_.Path(output));
  }
  test::TempDir dir_;
};

TEST_F(MaterialLibraryLinesTest, TheInputsFolderKeepsTheLineAsItIs) {
  EXPECT_EQ(For("mtllib scene.mtl  missing\\x.mtl", "models/"),
            (Lines{"mtllib scene.mtl  missing\\x.mtl"}));
  EXPECT_EQ(For("mtllib scene.mtl", "models/../models/"), (Lines{"mtllib scene.mtl"}));
}

TEST_F(MaterialLibraryLinesTest, AnotherFolderFindsTheLibrariesFromThere) {
  EXPECT_EQ(For("mtllib scene.mtl"), (Lines{"mtllib ../models/scene.mtl"}));
  EXPECT_EQ(For("mtllib scene.mtl", "models/mats/"), (Lines{"mtllib ../scene.mtl"}));
  // A name with spaces is one library when that file exists.
  EXPECT_EQ(For("mtllib my scene.mtl"), (Lines{"mtllib ../models/my scene.mtl"}));
  // Otherwise the line lists several; missing ones keep their place.
  EXPECT_EQ(For("mtllib scene.mtl  b.mtl gone.mtl"),
            (Lines{"mtllib ../models/scene.mtl ../models/b.mtl ../models/gone.mtl"}));
  // Backslashes of a file made on Windows, and absolute paths.
  EXPECT_EQ(For("mtllib mats\\wood.mtl ../models/b.mtl"),
            (Lines{"mtllib ../models/mats/wood.mtl ../models/b.mtl"}));
  EXPECT_EQ(For("mtllib /opt/lib/a.mtl C:\\mats\\b.mtl"),
            (Lines{"mtllib /opt/lib/a.mtl C:\\mats\\b.mtl"}));
  // Folders that share nothing below the root: the absolute path.
  EXPECT_EQ(
      MaterialLibraryLines("mtllib scene.mtl", dir_.Path("models/"), "/dev/"),
      (Lines{"mtllib " + std::filesystem::canonical(dir_.Path("models/scene.mtl")).string()}));
}

// Written paths with a blank (from a folder's name) among several libraries
// would read as more libraries: each gets a line of its own.
TEST_F(MaterialLibraryLinesTest, APathWithABlankAmongSeveralGetsALineOfItsOwn) {
  mkdir(dir_.Path("my models").c_str(), 0777);
  dir_.Write("my models/a.mtl", "");
  EXPECT_EQ(MaterialLibraryLines("mtllib a.mtl b.mtl", dir_.Path("my models/"), dir_.Path("out/")),
            (Lines{"mtllib ../my models/a.mtl", "mtllib ../my models/b.mtl"}));
  EXPECT_EQ(MaterialLibraryLines("mtllib a.mtl", dir_.Path("my models/"), dir_.Path("out/")),
            (Lines{"mtllib ../my models/a.mtl"}));
}

}  // namespace
}  // namespace zelfin
