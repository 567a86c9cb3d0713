#include "division/names_file_writer.h"

#include <gtest/gtest.h>

#include "division/obj_model.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

// Faces rewritten from the corners kept while marking, and faces read a second
// time once that store is full, come out the same.
TEST(WriteNamesFile, KeptAndRereadCornersGiveTheSameFile) {
  std::string input;
  for (int i = 1; i <= 30; ++i)
    input += "v " + std::to_string(i) + " 0 0\nvt 0 " + std::to_string(i) + "\nvn 1 0 " +
             std::to_string(i) + "\n";
  input += "g a\n";
  for (int i = 1; i <= 20; ++i) {
    input += "f " + std::to_string(i) + "/" + std::to_string(i + 1) + "/-1 " +
             std::to_string(i + 2) + "//" + std::to_string(30 - i) + " -" + std::to_string(i) +
             "/" + std::to_string(i) + " " + std::to_string(i + 3) + "/x/1/9 \"" +
             std::to_string(i) + "\"\n";
  }
  input += "g b\nf 30 29 28\n";
  const NameCollator collator("");
  const ObjModel model = ParseOBJ(input, kDivGroupOption, collator, "in.obj");
  test::TempDir dir;
  std::vector<std::string> outputs;
  for (const size_t cache_words : {size_t{0}, size_t{37}, size_t{1} << 20}) {
    Renumbering renumbering(model);
    renumbering.cache_words = cache_words;
    const std::string path = dir.Path(std::to_string(cache_words));
    WriteNamesFile(model, {0, 1}, "g ", "#x", path, renumbering);
    outputs.push_back(test::ReadBytes(path));
  }
  EXPECT_EQ(outputs[0], outputs[1]);
  EXPECT_EQ(outputs[0], outputs[2]);
  EXPECT_NE(outputs[0].find("\r\nf 1/2/22 3//21 30/1 4//1 1\r\n"), std::string::npos) << outputs[0];
}

}  // namespace
}  // namespace zelfin
