// The simplification, whole, on small arbitrary inputs at two keep ratios and
// with both methods:
// a ZelfinError or an output whose counts line agrees with its v and f
// lines and whose every face names three written vertices; and the refined
// method's surface sound.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "platform/errors.h"
#include "platform/progress_sink.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_contraction.h"
#include "simplify/diet_loader.h"
#include "simplify/simplify_file.h"
#include "support/surface_checks.h"

namespace {

using zelfin::fuzz::Check;

std::string g_root, g_input, g_out;

// A few hundred lines at most: the contraction is meant for meshes, not for
// whatever a fuzzer can pack into megabytes.
constexpr size_t kMaxInput = 16 * 1024;

// A corner "v", "v/t", "v//n" or "v/t/n" (the classic method writes "v//"):
// every number names a line of its kind that the file holds.
void CheckCorner(std::string_view corner, const int64_t (&counts)[3], const std::string& where) {
  size_t begin = 0;
  for (int k = 0; k < 3; ++k) {
    const size_t slash = std::min(corner.find('/', begin), corner.size());
    const std::string_view part = corner.substr(begin, slash - begin);
    Check(k > 0 || !part.empty(), where + ": corner without a vertex");
    if (!part.empty()) {
      const int64_t n = zelfin::fuzz::ParseCount(part);
      Check(n >= 1 && n <= counts[k], where + ": corner names a line not written");
    }
    if (slash == corner.size()) return;
    begin = slash + 1;
  }
  Check(false, where + ": corner of more than three parts");
}

void CheckOutput(const std::string& path) {
  const std::string text = zelfin::fuzz::ReadFile(path);
  const std::vector<std::string_view> lines = zelfin::fuzz::CrLfLines(text, path);
  Check(lines.size() >= 2 && lines[0] == "# Exported from Zelfin", path + ": no header");
  // "#<vertices> vertices, <faces> faces"
  const std::string_view counts_line = lines[1];
  const size_t v_end = counts_line.find(" vertices, ");
  Check(
      counts_line.starts_with("#") && v_end != counts_line.npos && counts_line.ends_with(" faces"),
      path + ": no counts line: " + std::string(counts_line));
  const int64_t nv = zelfin::fuzz::ParseCount(counts_line.substr(1, v_end - 1));
  const size_t f_start = v_end + 11;
  const int64_t nf =
      zelfin::fuzz::ParseCount(counts_line.substr(f_start, counts_line.size() - 6 - f_start));
  Check(nv >= 0 && nf >= 0, path + ": counts line unreadable: " + std::string(counts_line));
  // The lines of each kind come in this order; faces may be headed by g,
  // usemtl and s lines.
  const std::string_view kinds[] = {"mtllib ", "v ", "vt ", "vn ", "f "};
  int64_t counts[3] = {0, 0, 0}, f = 0;
  int stage = 0;
  for (size_t i = 2; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::string where = path + " line " + std::to_string(i + 1);
    int kind = 0;
    while (kind < 5 && !line.starts_with(kinds[kind])) ++kind;
    if (kind == 5) {
      Check(line.starts_with("g ") || line.starts_with("usemtl ") || line.starts_with("s "),
            where + ": unexpected line");
      kind = 4;
    } else if (kind >= 1 && kind <= 3) {
      ++counts[kind - 1];
    }
    Check(kind >= stage, where + ": line out of order");
    stage = kind;
    if (kind != 4 || !line.starts_with("f ")) continue;
    ++f;
    std::string_view rest = line.substr(2);
    int corners = 0;
    while (!rest.empty()) {
      const size_t space = std::min(rest.find(' '), rest.size());
      CheckCorner(rest.substr(0, space), counts, where);
      ++corners;
      rest = space == rest.size() ? std::string_view() : rest.substr(space + 1);
    }
    Check(corners == 3, where + ": not three corners");
  }
  Check(counts[0] == nv && f == nf, path + ": counts line disagrees with the lines");
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

// The refined method keeps the surface sound: no face turned over against the
// way it was loaded, no new edge of more than two faces.
void RefinedStaysSound() {
  zelfin::DietMesh loaded;
  try {
    zelfin::LoadDietMesh(g_input, loaded);
  } catch (const zelfin::ZelfinError&) {
    return;
  }
  zelfin::DietMesh mesh = loaded;
  zelfin::SilentProgress progress;
  zelfin::AnalyzeVertices(mesh, progress);
  zelfin::AnalyzePairs(mesh, progress);
  zelfin::ContractMesh(mesh, 0.05, progress, zelfin::SimplifyMethod::kRefined);
  const std::string fault = zelfin::test::SurfaceFault(loaded, mesh);
  Check(fault.empty(), "refined: " + fault);
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
  RefinedStaysSound();
  return 0;
}
