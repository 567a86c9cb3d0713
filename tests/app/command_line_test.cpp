#include "app/command_line.h"

#include <gtest/gtest.h>

namespace zelfin {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, BlanksAndControlCharactersSeparate) {
  EXPECT_EQ(SplitCommandLine("zelfin.exe a.obj\t b.obj\x01\x1f"
                             "c.obj  "),
            (Args{"a.obj", "b.obj", "c.obj"}));
  EXPECT_EQ(SplitCommandLine("zelfin.exe"), Args{});
  EXPECT_EQ(SplitCommandLine(""), Args{});
}

TEST(CommandLine, QuotesKeepBlanksAndAreDropped) {
  EXPECT_EQ(SplitCommandLine("\"C:/Program Files/z.exe\" \"my model.obj\" x"),
            (Args{"my model.obj", "x"}));
  // Without quotes the same path is two arguments.
  EXPECT_EQ(SplitCommandLine("z my model.obj"), (Args{"my", "model.obj"}));
  // A quoted stretch inside an argument, and a missing closing quote.
  EXPECT_EQ(SplitCommandLine("z a\"b c\"d \"open end"), (Args{"ab cd", "open end"}));
}

TEST(CommandLine, BackslashIsOrdinaryAndEmptyArgumentsCannotBeGiven) {
  EXPECT_EQ(SplitCommandLine("z \"a\\\" b\\c"), (Args{"a\\", "b\\c"}));
  EXPECT_EQ(SplitCommandLine("z \"\" \"\"\"\"x \"\""), (Args{"x"}));
  // Characters above 127 belong to arguments.
  EXPECT_EQ(SplitCommandLine("z caf\xC3\xA9.obj"), (Args{"caf\xC3\xA9.obj"}));
  // A NUL ends the line.
  EXPECT_EQ(SplitCommandLine(std::string_view("z a\0b", 5)), (Args{"a"}));
}

}  // namespace
}  // namespace zelfin
