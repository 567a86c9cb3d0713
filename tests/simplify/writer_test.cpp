#include "simplify/diet_writer.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "core_test_util.h"
#include "platform/errors.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::Face;
using test::ReadBytes;
using test::TempDir;

TEST(DietWriter, OutputNames) {
  EXPECT_EQ(DietOutputPath("/models/chair.obj", "/out/", 0.90), "/out/chair_Simplified90%.obj");
  EXPECT_EQ(DietOutputPath("chair.OBJ", "", 0.95), "chair_Simplified95%.obj");
  EXPECT_EQ(DietOutputPath("/m/chair.obj", "/o/", 0.05), "/o/chair_Simplified5%.obj");
  EXPECT_EQ(DietOutputPath("/m/a.b.obj", "/o/", 0.9), "/o/a.b_Simplified90%.obj");
  EXPECT_EQ(DietOutputPath("/m.d/noext", "/o/", 0.9), "/o/noext_Simplified90%.obj");
  EXPECT_EQ(DietOutputPath("/o/x_Simplified95%.obj", "/o/", 0.95),
            "/o/x_Simplified95%_Simplified95%.obj");
  // Every strength of the setup dialog names its own percentage.
  for (int k = 0; k <= 18; ++k) {
    const int percent = 95 - 5 * k;
    EXPECT_EQ(DietOutputPath("m.obj", "", percent / 100.0),
              "m_Simplified" + std::to_string(percent) + "%.obj");
  }
}

DietMesh SmallTables() {
  DietMesh m;
  m.DietVerts.resize(6);
  const TDietVec pos[6] = {{-0.25, 1, 0.03125},        {9, 9, 9}, {0.5, -1, -0.999999999},
                           {1e-9, -1e-9, 0.123456784}, {0, 0, 0}, {-1, 0.000000004, 2}};
  const bool used[6] = {true, false, true, true, false, true};
  for (int i = 0; i < 6; ++i) {
    m.DietVerts[i].Pos = pos[i];
    m.DietVerts[i].Used = used[i];
  }
  // Vertex 5 has lost its triangles but not its place: it is still written.
  m.DietFaces = {Face(true, 3, 0, 2), Face(false, 1, 4, 5), Face(true, 0, 2, 3)};
  return m;
}

const char* kSmallText =
    "# Exported from Zelfin\r\n"
    "#4 vertices, 2 faces\r\n"
    "v -0.25000000 1.00000000 0.03125000\r\n"
    "v 0.50000000 -1.00000000 -1.00000000\r\n"
    "v 0.00000000 -0.00000000 0.12345678\r\n"
    "v -1.00000000 0.00000000 2.00000000\r\n"
    "f 3// 1// 2//\r\n"
    "f 1// 2// 3//\r\n";

TEST(DietWriter, MeshText) {
  EXPECT_EQ(DietMeshText(SmallTables()), kSmallText);
  EXPECT_EQ(DietMeshText(DietMesh{}), "# Exported from Zelfin\r\n#0 vertices, 0 faces\r\n");
}

TEST(DietWriter, DecimalPointIgnoresTheLocale) {
  const char* found = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      found = name;
      break;
    }
  }
  if (found == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const std::string text = DietMeshText(SmallTables());
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(text, kSmallText) << found;
}

TEST(DietWriter, WritesAtomically) {
  TempDir dir;
  const std::string target = dir.Folder() + "m_Simplified50%.obj";
  dir.Write("m_Simplified50%.obj", "old");
  WriteDietMesh("/in/m.obj", dir.Folder(), 0.5, SmallTables());
  EXPECT_EQ(ReadBytes(target), kSmallText);  // replaced without a question

  const std::string missing = dir.Folder() + "no/such/";
  try {
    WriteDietMesh("/in/m.obj", missing, 0.5, SmallTables());
    ADD_FAILURE() << "no error";
  } catch (const ZelfinError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + missing, 0), 0u) << e.what();
  }
}

}  // namespace
}  // namespace zelfin
