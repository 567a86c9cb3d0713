// simplify_quality --real. For every .obj file of the folder (sorted by
// name) at each keep it runs
//   - zelfin-cli -m simplify -k K --refined (the whole process, timed), whose
//     output is in the input's frame; its triangle count T is the target of
//   - node bench/meshopt_real.mjs --mode simplify and --mode update
//     (meshoptimizer's simplify and simplifyWithUpdate), when node and the npm
//     package are there, and
//   - cgal_gh (CGAL's Garland-Heckbert plane policies with bounded normal
//     change placement), when it was built;
// and measures each output against the input: symmetric Hausdorff and RMS
// distances as fractions of the input's bounding-box diagonal (two points per
// input triangle spread by area on each surface, plus its vertices),
// fold-overs and new edges with more than two triangles (common/mesh_defects.h).
// Then it sums up refined against each peer and prints the goals
// (real_summary.cpp).
#include "real/real_quality.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/child_process.h"
#include "common/mesh_defects.h"
#include "common/mesh_distance.h"
#include "common/node_peer.h"
#include "common/obj_reader.h"
#include "real/real_summary.h"

namespace zelfin::bench {

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kSeed = 12345;
constexpr size_t kSamplesPerInputTriangle = 2;

// ----------------------------------------------------------- options

bool ParseKeeps(const char* text, std::vector<int>& keeps) {
  keeps.clear();
  const char* end = text + std::strlen(text);
  for (const char* p = text;; ++p) {
    int keep = 0;
    const auto r = std::from_chars(p, end, keep);
    if (r.ec != std::errc() || keep < 1 || keep > 100) return false;
    keeps.push_back(keep);
    p = r.ptr;
    if (p == end) return true;
    if (*p != ',') return false;
  }
}

// ------------------------------------------------------------- peers

struct Peers {
  NodePeer node;
  std::string cgal;  // cgal_gh's path, or "" when it was not built

  Peers() : node(FindNodePeer(ZELFIN_BENCH_DIR)) {
#ifdef ZELFIN_CGAL_GH_PATH
    cgal = ZELFIN_CGAL_GH_PATH;
#endif
  }
  bool Runs(Method m) const {
    return m == kRefined || (m == kCgal ? !cgal.empty() : node.missing.empty());
  }
  void PrintNotices() const {
    std::printf("meshoptimizer: %s\n", node.missing.empty()
                                           ? "node bench/meshopt_real.mjs (npm meshoptimizer)"
                                           : ("not run: " + node.missing).c_str());
    std::printf("CGAL: %s\n", cgal.empty() ? "not run: cgal_gh was not built: CMake found no CGAL "
                                             "or no Eigen (Debian: libcgal-dev, libeigen3-dev)"
                                           : "cgal_gh (Garland-Heckbert plane policies)");
  }
};

// ------------------------------------------------------------- models

// The input and what every measurement of an output reuses.
struct Model {
  Model(const fs::path& p, TriMesh mesh)
      : path(p),
        name(p.stem().string()),
        triangles(mesh.TriangleCount()),
        vertices(mesh.xyz.size() / 3),
        diagonal(Diagonal(mesh.xyz)),
        edges(mesh),
        surface(std::move(mesh), kSamplesPerInputTriangle * triangles, kSeed) {}

  fs::path path;
  std::string name;
  size_t triangles, vertices;
  double diagonal;
  NonManifoldEdges edges;
  Surface surface;
};

std::vector<fs::path> ModelFiles(const RealOptions& options, std::string& error) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(options.dir, ec)) {
    const fs::path& p = e.path();
    if (p.extension() != ".obj" || !e.is_regular_file()) continue;
    if (options.only.empty() || p.stem() == options.only || p.filename() == options.only) {
      files.push_back(p);
    }
  }
  std::sort(files.begin(), files.end());
  if (ec) {
    error = options.dir + ": " + ec.message();
  } else if (files.empty()) {
    error = options.dir + ": no " + (options.only.empty() ? ".obj files" : "model " + options.only);
  }
  return files;
}

// ------------------------------------------------------------ measuring

std::vector<std::string> Command(Method m, const Peers& peers, const Model& in, int keep,
                                 size_t target, const fs::path& out, fs::path& written) {
  const std::string k = std::to_string(keep), path = in.path.string();
  if (m == kRefined) {
    written = out / (in.name + "_Simplified" + k + "%.obj");
    return {ZELFIN_CLI_PATH,    "-m", "simplify", "-k", k, "--refined", "-q", "-o",
            out.string() + "/", path};
  }
  written = out / (in.name + "_" + kMethodNames[m] + "_" + k + ".obj");
  if (m == kCgal) return {peers.cgal, path, written.string(), std::to_string(target)};
  const char* mode = m == kMoSimplify ? "simplify" : "update";
  return {peers.node.node,
          ZELFIN_BENCH_DIR "/meshopt_real.mjs",
          path,
          written.string(),
          std::to_string(target),
          "--mode",
          mode};
}

// Runs the command and measures what it wrote, which then goes (to the
// save folder when there is one); false on failure.
bool Measure(const Model& in, const std::vector<std::string>& command, const fs::path& written,
             const fs::path& saved, Result& r) {
  const ChildRun run = RunChild(command);
  ObjMesh<double> out;
  std::string error;
  if (run.status != 0 || !ReadObj(written.string(), out, error)) {
    std::printf("FAILED (exit status %d) %s\n", run.status, error.c_str());
    return false;
  }
  std::error_code ec;
  if (!saved.empty()) fs::copy_file(written, saved, fs::copy_options::overwrite_existing, ec);
  fs::remove(written, ec);
  TriMesh mesh{std::move(out.xyz), std::move(out.tri)};
  r.ran = true;
  r.triangles = mesh.TriangleCount();
  r.seconds = run.seconds;
  r.folds = CountFoldOvers(mesh, in.surface.mesh, in.surface.tree);
  r.new_edges = in.edges.CountNew(mesh);
  const Symmetric d =
      Compare(in.surface, Surface(std::move(mesh), kSamplesPerInputTriangle * in.triangles, kSeed));
  r.hausdorff = d.hausdorff / in.diagonal;
  r.rms = d.rms / in.diagonal;
  return true;
}

void PrintResult(const Result& r) {
  std::printf("%9zu %7.2f s %10.3e %10.3e %7zu %9zu\n", r.triangles, r.seconds, r.hausdorff, r.rms,
              r.folds, r.new_edges);
  std::fflush(stdout);
}

// All methods at one keep; false when a program failed.
bool MeasureCase(const Model& in, const Peers& peers, const RealOptions& options,
                 const fs::path& out, Case& c) {
  bool ok = true;
  size_t target = static_cast<size_t>(std::llround(c.keep / 100.0 * in.triangles));
  for (int m = 0; m < kMethods; ++m) {
    std::printf("%3d%%  %-12s ", c.keep, kMethodNames[m]);
    if (!peers.Runs(Method(m))) {
      std::printf("%9s %9s %10s %10s %7s %9s\n", "-", "-", "-", "-", "-", "-");
      continue;
    }
    fs::path written, saved;
    const std::vector<std::string> command =
        Command(Method(m), peers, in, c.keep, target, out, written);
    if (!options.save.empty()) {
      saved = fs::path(options.save) /
              (in.name + "_" + kMethodNames[m] + "_" + std::to_string(c.keep) + ".obj");
    }
    Result& r = c.result[m];
    ok = Measure(in, command, written, saved, r) && ok;
    if (r.ran) PrintResult(r);
    if (m == kRefined && r.ran) target = r.triangles;
  }
  return ok;
}

void PrintModelHeader(const Model& in) {
  std::printf("\n%s: %zu triangles, %zu vertices, %zu edges with more than two triangles;\n",
              in.path.filename().c_str(), in.triangles, in.vertices, in.edges.InputCount());
  std::printf("bounding-box diagonal %.6g\n", in.diagonal);
  std::printf("%-18s %9s %9s %10s %10s %7s %9s\n", "keep  method", "triangles", "time", "Hausdorff",
              "RMS", "folds", "new >2 e.");
}

// Reads one model and measures it at every keep; false on any failure.
bool MeasureModel(const fs::path& file, const Peers& peers, const RealOptions& options,
                  const fs::path& out, std::vector<Case>& cases) {
  ObjMesh<double> obj;
  std::string error;
  if (!ReadObj(file.string(), obj, error)) {
    std::printf("\n%s: FAILED: %s\n", file.filename().c_str(), error.c_str());
    return false;
  }
  const Model in(file, TriMesh{std::move(obj.xyz), std::move(obj.tri)});
  PrintModelHeader(in);
  bool ok = true;
  for (int keep : options.keeps) {
    Case c{in.name, keep, {}};
    ok = MeasureCase(in, peers, options, out, c) && ok;
    cases.push_back(c);
  }
  return ok;
}

}  // namespace

bool ParseRealOptions(int argc, char** argv, int first, RealOptions& options, std::string& error) {
  options.dir = (fs::path(ZELFIN_BENCH_DIR) / "../../shared/realmeshes").lexically_normal();
  bool dir_given = false;
  for (int i = first; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--keep" && has_value) {
      if (!ParseKeeps(argv[++i], options.keeps)) {
        error = "--keep takes whole percentages from 1 to 100, separated by commas";
        return false;
      }
    } else if (arg == "--only" && has_value) {
      options.only = argv[++i];
    } else if (arg == "--save" && has_value) {
      options.save = argv[++i];
    } else if (arg.starts_with("-") || dir_given) {
      error = "unexpected argument " + arg;
      return false;
    } else {
      options.dir = arg;
      dir_given = true;
    }
  }
  return true;
}

int RunRealQuality(const RealOptions& options) {
  if (!DefectsSelfCheck()) return 1;
  std::string error;
  const std::vector<fs::path> files = ModelFiles(options, error);
  std::error_code ec;
  if (!options.save.empty() && !fs::create_directories(options.save, ec) && ec) {
    error = options.save + ": " + ec.message();
  }
  if (!error.empty()) {
    std::fprintf(stderr, "simplify_quality: %s\n", error.c_str());
    return 1;
  }
  if (!HelpMentions(ZELFIN_CLI_PATH, "--refined")) {
    std::printf("zelfin-cli has no --refined: nothing to measure\n");
    return 1;
  }
  const Peers peers;
  std::printf(
      "models: %s; %zu sample points per input triangle on each surface, plus its "
      "vertices\n",
      options.dir.c_str(), kSamplesPerInputTriangle);
  peers.PrintNotices();
  std::printf(
      "distances: fractions of the input's bounding-box diagonal; folds: triangles "
      "facing against\nthe input's nearest; new >2 e.: edges with more than two "
      "triangles the input does not have\n");
  const fs::path out = fs::temp_directory_path() / ("zelfin_real_" + std::to_string(getpid()));
  fs::create_directories(out);
  bool ok = true;
  std::vector<Case> cases;
  for (const fs::path& file : files) {
    ok = MeasureModel(file, peers, options, out, cases) && ok;
  }
  fs::remove_all(out, ec);
  PrintSummary(cases);
  return ok ? 0 : 1;
}

}  // namespace zelfin::bench
