// Simplification speed and memory, with a peer library measured in the same
// run so that the ratio holds on a noisy machine.
//
//   build/bench/simplify_bench           100k and 1M triangles
//   build/bench/simplify_bench --quick   100k only
//
// Build it with optimisation (RelWithDebInfo or Release). For every mesh it
// prints the time of each of our steps next to meshopt_simplify (when the
// library was found) on the same triangles to the same triangle count, at
// keep 50% and 10%; then it runs zelfin-cli end to end on the largest OBJ file
// and reports its wall time and peak memory, next to the time of merely reading
// the file and parsing its numbers.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/progress_sink.h"
#include "platform/text_file.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_contraction.h"
#include "simplify/diet_loader.h"

// The benchmark's meshes come from the test generator.
#include "support/mesh_gen.h"

#ifdef ZELFIN_HAVE_MESHOPTIMIZER
#include <meshoptimizer.h>
#endif

namespace {

using zelfin::DietMesh;
namespace fs = std::filesystem;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

template <class Fn>
double Time(Fn&& fn) {
  const auto t0 = std::chrono::steady_clock::now();
  fn();
  return Seconds(t0);
}

int64_t AliveFaces(const DietMesh& m) {
  int64_t n = 0;
  for (const auto& f : m.DietFaces) n += f.Alive ? 1 : 0;
  return n;
}

struct KeepResult {
  double contract = 0, meshopt = -1;
  int64_t ours_left = 0, meshopt_left = -1;
};

// The loaded triangles as the peer takes them: welded indices, normalised
// positions as floats.
struct PeerInput {
  std::vector<float> pos;
  std::vector<unsigned int> idx;
};

PeerInput ToPeerInput(const DietMesh& loaded) {
  PeerInput in;
  in.pos.reserve(3 * loaded.DietVerts.size());
  for (const auto& v : loaded.DietVerts) {
    in.pos.insert(in.pos.end(), {static_cast<float>(v.Pos.X), static_cast<float>(v.Pos.Y),
                                 static_cast<float>(v.Pos.Z)});
  }
  in.idx.reserve(3 * loaded.DietFaces.size());
  for (const auto& f : loaded.DietFaces) in.idx.insert(in.idx.end(), f.Verts, f.Verts + 3);
  return in;
}

#ifdef ZELFIN_HAVE_MESHOPTIMIZER
// meshopt_simplify to the triangle count that our target leaves.
void RunMeshopt(const PeerInput& in, int64_t target_triangles, KeepResult& out) {
  std::vector<unsigned int> dst(in.idx.size());
  size_t n = 0;
  out.meshopt = Time([&] {
    // A target error of 1 (the whole extent) lets it go all the way to the count.
    n = meshopt_simplify(dst.data(), in.idx.data(), in.idx.size(), in.pos.data(), in.pos.size() / 3,
                         3 * sizeof(float), static_cast<size_t>(3 * target_triangles), 1.0f, 0,
                         nullptr);
  });
  out.meshopt_left = static_cast<int64_t>(n / 3);
}
#endif

// Reads the file and parses every number of its v and f lines: the least that
// any loader must do.
double ReadAndParseFloor(const std::string& path, double& checksum) {
  return Time([&] {
    const std::string text = zelfin::ReadTextFile(path);
    double sum = 0;
    zelfin::ForEachLine(text, [&](std::string_view line) {
      if (line.size() < 2 || line[1] != ' ' || (line[0] != 'v' && line[0] != 'f')) return;
      const char* p = line.data() + 2;
      const char* end = line.data() + line.size();
      while (p < end) {
        while (p < end && *p == ' ') ++p;
        if (p == end) break;
        if (line[0] == 'v') {
          double x = 0;
          p = std::from_chars(p, end, x).ptr;
          sum += x;
        } else {
          int64_t k = 0;
          p = std::from_chars(p, end, k).ptr;
          sum += static_cast<double>(k);
        }
        while (p < end && *p != ' ') ++p;
      }
    });
    checksum = sum;
  });
}

struct ChildRun {
  double seconds = 0;
  long max_rss_kb = 0;
  int status = -1;
};

ChildRun RunChild(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ChildRun run;
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (pid < 0) return run;
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  run.seconds = Seconds(t0);
  run.max_rss_kb = ru.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// VmRSS of this process in KB: what a forked child starts out with, since its
// peak RSS counts the pages it shared with us before exec.
long OwnRssKb() {
  std::ifstream in("/proc/self/status");
  std::string key;
  long value = 0;
  while (in >> key) {
    if (key == "VmRSS:") {
      in >> value;
      return value;
    }
  }
  return 0;
}

std::string Cell(double seconds) {
  if (seconds < 0) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f s", seconds);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      quick = true;
    } else {
      std::fprintf(stderr, "usage: %s [--quick]\n", argv[0]);
      return 2;
    }
  }
  const fs::path dir = fs::temp_directory_path() / ("zelfin_bench_" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::vector<int64_t> sizes = {100000};
  if (!quick) sizes.push_back(1000000);
  std::vector<std::string> paths;
  std::vector<int64_t> triangle_counts;
  for (int64_t size : sizes) {
    const zelfin::gen::GenMesh gm = zelfin::gen::LargeClosedMesh(size, size);
    triangle_counts.push_back(static_cast<int64_t>(gm.FaceCount()));
    paths.push_back((dir / ("torus" + std::to_string(gm.FaceCount()) + ".obj")).string());
    std::ofstream(paths.back(), std::ios::binary) << zelfin::gen::PlainObj(gm);
  }

  // End to end first, while this process is small: a forked child's peak RSS
  // includes what it shared with its parent.
  const std::string& largest_path = paths.back();
  const int64_t largest_triangles = triangle_counts.back();
  const long parent_rss_kb = OwnRssKb();
  const fs::path out = dir / "out";
  fs::create_directories(out);
  const ChildRun cli = RunChild({ZELFIN_CLI_PATH, "-m", "simplify", "-k", "50", "-q", "-o",
                                 out.string() + "/", largest_path});
  double checksum = 0;
  const double floor = ReadAndParseFloor(largest_path, checksum);
  const double bytes_per_triangle =
      static_cast<double>(cli.max_rss_kb) * 1024.0 / static_cast<double>(largest_triangles);

  const double keeps[] = {0.5, 0.1};
  zelfin::SilentProgress silent;
  bool contraction_goal_met = true;
  for (size_t s = 0; s < paths.size(); ++s) {
    DietMesh analysed;
    const double t_load = Time([&] { zelfin::LoadDietMesh(paths[s], analysed); });
    const PeerInput peer = ToPeerInput(analysed);
    const int64_t F = static_cast<int64_t>(analysed.DietFaces.size());
    const double t_vert = Time([&] { zelfin::AnalyzeVertices(analysed, silent); });
    const double t_pairs = Time([&] { zelfin::AnalyzePairs(analysed, silent); });
    KeepResult res[2];
    for (int k = 0; k < 2; ++k) {
      DietMesh m = analysed;
      res[k].contract = Time([&] { zelfin::ContractMesh(m, keeps[k], silent); });
      res[k].ours_left = AliveFaces(m);
#ifdef ZELFIN_HAVE_MESHOPTIMIZER
      RunMeshopt(peer, F - zelfin::ContractionTarget(F, keeps[k]), res[k]);
#else
      (void)peer;
      (void)F;
#endif
    }

    std::printf("\nclosed noisy torus: %lld triangles, %zu vertices\n",
                static_cast<long long>(triangle_counts[s]), analysed.DietVerts.size());
    std::printf("%-28s %14s %14s\n", "step", "keep 50%", "keep 10%");
    std::printf("%-28s %14s\n", "LoadDietMesh", Cell(t_load).c_str());
    std::printf("%-28s %14s\n", "AnalyzeVertices", Cell(t_vert).c_str());
    std::printf("%-28s %14s\n", "AnalyzePairs", Cell(t_pairs).c_str());
    std::printf("%-28s %14s %14s\n", "ContractMesh", Cell(res[0].contract).c_str(),
                Cell(res[1].contract).c_str());
    std::printf("%-28s %14s %14s\n", "meshopt_simplify", Cell(res[0].meshopt).c_str(),
                Cell(res[1].meshopt).c_str());
    std::printf("%-28s %14lld %14lld\n", "triangles left, ours",
                static_cast<long long>(res[0].ours_left), static_cast<long long>(res[1].ours_left));
    std::printf("%-28s %14lld %14lld\n", "triangles left, meshopt",
                static_cast<long long>(res[0].meshopt_left),
                static_cast<long long>(res[1].meshopt_left));
    if (res[0].meshopt > 0) {
      const double r0 = res[0].contract / res[0].meshopt, r1 = res[1].contract / res[1].meshopt;
      std::printf("%-28s %14.2f %14.2f   goal: at most 2.00\n", "ContractMesh / meshopt", r0, r1);
      contraction_goal_met = contraction_goal_met && r0 <= 2 && r1 <= 2;
    } else {
      std::printf("%-28s (meshoptimizer not found at build time)\n", "ContractMesh / meshopt");
    }
  }

  std::printf("\nzelfin-cli -m simplify -k 50 on %lld triangles (%.1f MB of OBJ)\n",
              static_cast<long long>(largest_triangles),
              static_cast<double>(fs::file_size(largest_path)) / 1e6);
  if (cli.status != 0) {
    std::printf("zelfin-cli FAILED (exit status %d): %s\n", cli.status, ZELFIN_CLI_PATH);
  }
  std::printf("%-28s %14s   goal: under 3 s for 1M triangles\n", "end to end",
              Cell(cli.seconds).c_str());
  std::printf("%-28s %14s   (ReadTextFile + from_chars of every number; checksum %.6g)\n",
              "read + parse floor", Cell(floor).c_str(), checksum);
  std::printf("%-28s %11ld KB   %.0f bytes per input triangle   goal: under 600\n", "peak RSS",
              cli.max_rss_kb, bytes_per_triangle);
  std::printf("%-28s %11ld KB   (the parent's RSS at the fork, included above)\n", "",
              parent_rss_kb);
  const bool ran = cli.status == 0;
  std::printf("\ngoals: contraction %s, end to end %s, memory %s\n",
              contraction_goal_met ? "met" : "MISSED",
              !ran              ? "NOT RUN"
              : quick           ? "(measured on 1M only)"
              : cli.seconds < 3 ? "met"
                                : "MISSED",
              !ran                       ? "NOT RUN"
              : bytes_per_triangle < 600 ? "met"
                                         : "MISSED");

  std::error_code ec;
  fs::remove_all(dir, ec);
  return ran ? 0 : 1;
}
