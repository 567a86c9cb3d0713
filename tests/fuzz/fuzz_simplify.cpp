// The simplification, whole, on small arbitrary inputs at two keep ratios and
// with both methods:
// a ZelfinError or an output whose counts line agrees with its v and f
// lines and whose every face names three written vertices.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "platform/errors.h"
#include "platform/progress_sink.h"
#include "simplify/simplify_file.h"

namespace {

using zelfin::fuzz::Check;

std::string g_root, g_input, g_out;

// A few hundred lines at most: the contraction is meant for meshes, not for
// whatever a fuzzer can pack into megabytes.
constexpr size_t kMaxInput = 16 * 1024;

void CheckOutput(const std::string& path) {
  const std::string text = zelfin::fuzz::ReadFile(path);
  const std::vector<std::string_view> lines = zelfin::fuzz::CrLfLines(text, path);
  Check(lines.size() >= 2 && lines[0] == "# Exported from Zelfin", path + ": no header");
  // "#<vertices> vertices, <faces> faces"
  const std::string_view counts = lines[1];
  const size_t v_end = counts.find(" vertices, ");
  Check(counts.starts_with("#") && v_end != counts.npos && counts.ends_with(" faces"),
        path + ": no counts line: " + std::string(counts));
  const int64_t nv = zelfin::fuzz::ParseCount(counts.substr(1, v_end - 1));
  const size_t f_start = v_end + 11;
  const int64_t nf = zelfin::fuzz::ParseCount(counts.substr(f_start, counts.size() - 6 - f_start));
  Check(nv >= 0 && nf >= 0, path + ": counts line unreadable: " + std::string(counts));
  int64_t v = 0, f = 0;
  for (size_t i = 2; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::string where = path + " line " + std::to_string(i + 1);
    if (line.starts_with("v ")) {
      Check(f == 0, where + ": vertex after the faces");
      ++v;
      continue;
    }
    Check(line.starts_with("f "), where + ": unexpected line");
    ++f;
    // "f a// b// c//"
    size_t pos = 2;
    for (int c = 0; c < 3; ++c) {
      const size_t end = line.find("//", pos);
      Check(end != line.npos, where + ": corner without //");
      const int64_t n = zelfin::fuzz::ParseCount(line.substr(pos, end - pos));
      Check(n >= 1 && n <= nv, where + ": face names a vertex not written");
      pos = end + 2;
      if (c < 2) {
        Check(pos < line.size() && line[pos] == ' ', where + ": corners not separated");
        ++pos;
      }
    }
    Check(pos == line.size(), where + ": more than three corners");
  }
  Check(v == nv && f == nf, path + ": counts line disagrees with the lines");
}

void SimplifyAt(double keep_ratio, const char* file,
                zelfin::SimplifyMethod method = zelfin::SimplifyMethod::kClassic) {
  zelfin::SilentProgress progress;
  try {
    zelfin::SimplifyFile(g_input, g_out + "/", keep_ratio, progress, method);
  } catch (const zelfin::ZelfinError&) {
    Check(zelfin::test::FolderNames(g_out).empty(), "a failed run left a file");
    return;
  }
  const std::vector<std::string> names = zelfin::test::FolderNames(g_out);
  Check(names.size() == 1 && names[0] == file,
        "the run did not write exactly " + std::string(file));
  CheckOutput(g_out + "/" + file);
  zelfin::fuzz::EmptyFolder(g_out);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_root = zelfin::fuzz::MakeScratchFolder("fuzz-simplify");
  zelfin::fuzz::MakeFolder(g_root + "/in");
  zelfin::fuzz::MakeFolder(g_root + "/out");
  g_input = g_root + "/in/m.obj";
  g_out = g_root + "/out";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  zelfin::fuzz::WriteFile(g_input, data, size);
  SimplifyAt(0.5, "m_Simplified50%.obj");
  SimplifyAt(0.05, "m_Simplified5%.obj");
  SimplifyAt(0.05, "m_Simplified5%.obj", zelfin::SimplifyMethod::kRefined);
  return 0;
}
