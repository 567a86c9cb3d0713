// The raw-command-line splitter on arbitrary bytes: the arguments, joined,
// are the line without its quote marks and without the separators outside
// quotes; none is empty; quoted again and split, they come back unchanged.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "fuzz/fuzz_util.h"

namespace {

using zelfin::fuzz::Check;

// The line up to its first NUL without quote marks and without the codes
// 1..32 that stand outside quotes.
std::string Kept(std::string_view line) {
  std::string kept;
  bool quoted = false;
  for (const char c : line) {
    if (c == '\0') break;
    if (c == '"') {
      quoted = !quoted;
    } else if (quoted || static_cast<unsigned char>(c) > ' ') {
      kept += c;
    }
  }
  return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // A fixed program name first, so that all of the input is arguments.
  const std::vector<std::string> args = zelfin::SplitCommandLine("p " + std::string(input));
  std::string joined, requoted = "p";
  for (const std::string& arg : args) {
    Check(!arg.empty(), "an empty argument");
    Check(arg.find('"') == std::string::npos, "a quote mark kept");
    joined += arg;
    requoted += " \"" + arg + "\"";
  }
  Check(joined == Kept(input), "characters lost or added");
  Check(zelfin::SplitCommandLine(requoted) == args, "quoted arguments do not come back");
  return 0;
}
