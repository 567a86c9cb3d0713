// Simplification speed and memory, with a peer library measured in the same
// run so that the ratio holds on a noisy machine.
//
//   build/bench/simplify_bench                 100k and 1M triangles
//   build/bench/simplify_bench --quick         100k only
//   build/bench/simplify_bench --large         10M triangles as well (minutes)
//   build/bench/simplify_bench --runs R        whole processes run R times, the fastest kept
//   build/bench/simplify_bench --before CLI    whole processes of another zelfin-cli (an
//                                              older build) too, in the same run
//   build/bench/simplify_bench --pause S       S seconds of quiet before each whole process:
//                                              what a user's first run after a pause meets
//
// Build it with optimisation (RelWithDebInfo or Release). For every mesh it
// prints the time of each of our steps next to meshopt_simplify (when the
// library was found) on the same triangles to the same triangle count, at
// keep 50% and 10%; then it runs zelfin-cli end to end on the largest OBJ file
// and reports its wall time and peak memory, next to the time of merely reading
// the file and parsing its numbers. Then whole processes side by side on the
// 1M-triangle file (and the 10M one): zelfin-cli classic, zelfin-cli --refined
// when it takes that option, and meshopt_obj, at keep 50% and 10%: wall time,
// CPU time, peak RSS, bytes per input triangle and the time ratio to
// meshopt_obj, with the goals. Last, what measuring the deviation after a
// refined simplification costs next to the simplification itself.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/child_process.h"
#include "common/page_cost.h"
#include "platform/progress_sink.h"
#include "platform/text_file.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_contraction.h"
#include "simplify/diet_loader.h"
#include "simplify/simplify_file.h"

// The benchmark's meshes come from the test generator.
#include "support/mesh_gen.h"

#ifdef ZELFIN_HAVE_MESHOPTIMIZER
#include <meshoptimizer.h>
#endif

namespace {

using zelfin::DietMesh;
using zelfin::bench::ChildRun;
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

std::string Cell(double seconds) {
  if (seconds < 0) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f s", seconds);
  return buf;
}

struct BenchFile {
  std::string path;
  int64_t triangles = 0;
};

// The generator's memory is gone when this returns, so that the children
// forked later start from a small process.
BenchFile WriteTorus(const fs::path& dir, int64_t size) {
  const zelfin::gen::GenMesh gm = zelfin::gen::LargeClosedMesh(size, size);
  BenchFile file;
  file.triangles = static_cast<int64_t>(gm.FaceCount());
  file.path = (dir / ("torus" + std::to_string(gm.FaceCount()) + ".obj")).string();
  std::ofstream(file.path, std::ios::binary) << zelfin::gen::PlainObj(gm);
  return file;
}

// ------------------------------------------------------- steps in process

// Our steps next to meshopt_simplify on each file; returns whether the
// contraction met its goal everywhere.
bool PrintStepTable(const BenchFile& file) {
  const double keeps[] = {0.5, 0.1};
  zelfin::SilentProgress silent;
  DietMesh analysed;
  const double t_load = Time([&] { zelfin::LoadDietMesh(file.path, analysed); });
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
              static_cast<long long>(file.triangles), analysed.DietVerts.size());
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
  if (res[0].meshopt <= 0) {
    std::printf("%-28s (meshoptimizer not found at build time)\n", "ContractMesh / meshopt");
    return true;
  }
  const double r0 = res[0].contract / res[0].meshopt, r1 = res[1].contract / res[1].meshopt;
  std::printf("%-28s %14.2f %14.2f   goal: at most 2.00\n", "ContractMesh / meshopt", r0, r1);
  return r0 <= 2 && r1 <= 2;
}

// ------------------------------------------------------- whole processes

// The "before" programs are the same methods by another zelfin-cli (--before).
enum Program { kClassic, kRefined, kMeshopt, kClassicBefore, kRefinedBefore, kPrograms };
const char* const kProgramNames[kPrograms] = {"classic", "refined", "meshopt", "classic-b",
                                              "refined-b"};
constexpr int kKeeps[2] = {50, 10};

struct ProcessCell {
  bool ran = false;  // false: the program is not there to run
  ChildRun run;
  int64_t triangles_out = -1;
};

struct ProcessTable {
  BenchFile file;
  int runs = 1;
  std::vector<std::string> commands[kPrograms];  // at keep 50%
  ProcessCell cells[2][kPrograms];               // [keep][program]
};

struct Setup {
  bool has[kPrograms] = {true, false, false, false, false};
  fs::path out;        // the folder the outputs go to
  int runs = 0;        // 0: 3 runs up to 1M triangles, 1 above
  std::string before;  // another zelfin-cli, or empty
  int pause = 0;       // seconds of quiet before each whole process
};

bool IsBefore(Program p) {
  return p == kClassicBefore || p == kRefinedBefore;
}

std::string KeepFraction(int keep) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%g", keep / 100.0);
  return buf;
}

// The older build writes into a folder of its own: its files have our names.
fs::path OutputFolder(Program p, const fs::path& out) {
  return IsBefore(p) ? out / "before" : out;
}

fs::path OutputPath(Program p, const BenchFile& file, int keep, const fs::path& out) {
  const std::string stem = fs::path(file.path).stem().string(), k = std::to_string(keep);
  return OutputFolder(p, out) /
         (p == kMeshopt ? stem + "_meshopt" + k + ".obj" : stem + "_Simplified" + k + "%.obj");
}

std::vector<std::string> Command(Program p, const BenchFile& file, int keep, const fs::path& out,
                                 const std::string& before) {
  if (p == kMeshopt) {
#ifdef ZELFIN_MESHOPT_OBJ_PATH
    return {ZELFIN_MESHOPT_OBJ_PATH, file.path, OutputPath(p, file, keep, out).string(),
            KeepFraction(keep)};
#else
    return {};
#endif
  }
  std::vector<std::string> args = {IsBefore(p) ? before : ZELFIN_CLI_PATH, "-m", "simplify", "-k",
                                   std::to_string(keep)};
  if (p == kRefined || p == kRefinedBefore) args.push_back("--refined");
  args.insert(args.end(), {"-q", "-o", OutputFolder(p, out).string() + "/", file.path});
  return args;
}

// Lines that start with "f " in a file, read in small blocks so that this
// process stays small between its children.
int64_t CountFaceLines(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buf(1 << 16);
  int64_t faces = 0;
  int state = 1;  // 1 at a line's start, 2 after an "f" there, 0 elsewhere
  while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      const char c = buf[static_cast<size_t>(i)];
      if (c == '\n') {
        state = 1;
      } else if (state == 1) {
        state = c == 'f' ? 2 : 0;
      } else if (state == 2) {
        faces += c == ' ' || c == '\t';
        state = 0;
      }
    }
  }
  return faces;
}

// Keeps the fastest run with the largest peak RSS of all runs; a failure
// stays on record. The output is counted and removed.
void Record(ProcessCell& cell, const ChildRun& run, const fs::path& out) {
  if (cell.ran && cell.run.status != 0) return;
  const long peak = cell.ran ? std::max(cell.run.max_rss_kb, run.max_rss_kb) : run.max_rss_kb;
  if (!cell.ran || run.status != 0 || run.seconds < cell.run.seconds) cell.run = run;
  cell.run.max_rss_kb = peak;
  cell.ran = true;
  cell.triangles_out = run.status == 0 ? CountFaceLines(out) : -1;
  std::error_code ec;
  fs::remove(out, ec);
}

// Runs every program at every keep, the runs interleaved so that a slow
// spell of the machine does not fall on one program only, each round in a
// new order (shuffled, the same every time the bench runs): on the benchmark
// machine a program ran up to a fifth slower after some programs than after
// others, whichever build it was, and in a fixed cycle it always followed
// the same one.
ProcessTable RunProcesses(const BenchFile& file, const Setup& setup) {
  ProcessTable t;
  t.file = file;
  t.runs = setup.runs > 0 ? setup.runs : file.triangles <= 1000000 ? 3 : 1;
  for (int p = 0; p < kPrograms; ++p) {
    t.commands[p] = Command(Program(p), file, kKeeps[0], setup.out, setup.before);
  }
  std::mt19937 shuffle(2026);
  for (int r = 0; r < t.runs; ++r) {
    for (int k = 0; k < 2; ++k) {
      int order[kPrograms];
      std::iota(order, order + kPrograms, 0);
      std::shuffle(order, order + kPrograms, shuffle);
      for (const int p : order) {
        if (!setup.has[p]) continue;
        // A virtual machine may hand freed memory back to its host meanwhile,
        // and the next process waits for the host to give it again.
        if (setup.pause > 0) std::this_thread::sleep_for(std::chrono::seconds(setup.pause));
        const ChildRun run =
            zelfin::bench::RunChild(Command(Program(p), file, kKeeps[k], setup.out, setup.before));
        Record(t.cells[k][p], run, OutputPath(Program(p), file, kKeeps[k], setup.out));
      }
    }
  }
  return t;
}

bool Succeeded(const ProcessCell& c) {
  return c.ran && c.run.status == 0;
}

// Wall time of a over b, or -1 when either did not run to success.
double TimeRatio(const ProcessCell& a, const ProcessCell& b) {
  return Succeeded(a) && Succeeded(b) && b.run.seconds > 0 ? a.run.seconds / b.run.seconds : -1;
}

double BytesPerTriangle(const ProcessCell& c, int64_t triangles) {
  return static_cast<double>(c.run.max_rss_kb) * 1024.0 / static_cast<double>(triangles);
}

std::string Fixed(double x, const char* format) {
  if (x < 0) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, format, x);
  return buf;
}

// The rows of a table: the older build's only when it was asked for.
bool Shown(int p, const Setup& setup) {
  return !IsBefore(Program(p)) || !setup.before.empty();
}

void PrintCommands(const ProcessTable& t, const Setup& setup) {
  for (int p = 0; p < kPrograms; ++p) {
    if (!Shown(p, setup)) continue;
    if (setup.has[p]) {
      std::printf("  %-8s %s\n", kProgramNames[p],
                  zelfin::bench::CommandLine(t.commands[p]).c_str());
    } else {
      std::printf("  %-8s (not run: %s)\n", kProgramNames[p],
                  p == kMeshopt ? "meshoptimizer not found at build time"
                                : "its --help does not mention --refined");
    }
  }
  std::printf("  %-8s (at keep 10%%: -k 10 and %s)\n", "", KeepFraction(10).c_str());
}

void PrintRow(const ProcessTable& t, int k, int p) {
  const ProcessCell& c = t.cells[k][p];
  std::printf("%3d%%  %-8s", kKeeps[k], kProgramNames[p]);
  if (!c.ran) {
    std::printf(" %10s %10s %11s %10s %11s %10s\n", "-", "-", "-", "-", "-", "-");
    return;
  }
  if (c.run.status != 0) {
    std::printf(" FAILED (exit status %d)\n", c.run.status);
    return;
  }
  std::printf(" %8.3f s %8.3f s %8.1f MB %10.0f %11lld %10s\n", c.run.seconds, c.run.cpu_seconds,
              static_cast<double>(c.run.max_rss_kb) / 1024.0, BytesPerTriangle(c, t.file.triangles),
              static_cast<long long>(c.triangles_out),
              p == kMeshopt ? "" : Fixed(TimeRatio(c, t.cells[k][kMeshopt]), "%.2f").c_str());
}

void PrintProcessTable(const ProcessTable& t, const Setup& setup) {
  std::printf("\nclosed noisy torus, %lld triangles, %.1f MB of OBJ; fastest of %d run%s",
              static_cast<long long>(t.file.triangles),
              static_cast<double>(fs::file_size(t.file.path)) / 1e6, t.runs,
              t.runs == 1 ? "" : "s");
  if (setup.pause > 0) std::printf(", each after %d s of quiet", setup.pause);
  std::printf("\n");
  PrintCommands(t, setup);
  std::printf("%-14s %10s %10s %11s %10s %11s %10s\n", "keep  program", "wall", "CPU", "peak RSS",
              "bytes/tri", "triangles", "/ meshopt");
  for (int k = 0; k < 2; ++k) {
    for (int p = 0; p < kPrograms; ++p) {
      if (Shown(p, setup)) PrintRow(t, k, p);
    }
  }
  std::printf("refined / classic time: %s at 50%%, %s at 10%%   goal: at most 1.50\n",
              Fixed(TimeRatio(t.cells[0][kRefined], t.cells[0][kClassic]), "%.2f").c_str(),
              Fixed(TimeRatio(t.cells[1][kRefined], t.cells[1][kClassic]), "%.2f").c_str());
}

// 10M against 1M: the time of each program at each keep, over the smaller mesh's.
void PrintGrowth(const ProcessTable& small, const ProcessTable& large, double& worst) {
  std::printf("\n%lld / %lld triangles, time:", static_cast<long long>(large.file.triangles),
              static_cast<long long>(small.file.triangles));
  for (int p = 0; p < kPrograms; ++p) {
    for (int k = 0; k < 2; ++k) {
      const double r = TimeRatio(large.cells[k][p], small.cells[k][p]);
      if (r < 0) continue;
      std::printf("  %s %d%% %.1f", kProgramNames[p], kKeeps[k], r);
      if (p == kClassic || p == kRefined) worst = std::max(worst, r);
    }
  }
  std::printf("   goal: ours at most 12\n");
}

// "met (worst x)", "MISSED (worst x)" or "NOT RUN" for a goal of "at most limit".
std::string Verdict(double worst, double limit, const char* format) {
  if (worst < 0) return "NOT RUN";
  return (worst <= limit ? "met (worst " : "MISSED (worst ") + Fixed(worst, format) + ")";
}

// The worst figure of each goal over all tables; -1 where nothing was measured.
struct Worst {
  double vs_meshopt[2] = {-1, -1};  // classic, refined
  double refined_vs_classic = -1;
  double bytes[2] = {-1, -1};
  double growth = -1;
};

Worst FindWorst(const std::vector<ProcessTable>& tables) {
  Worst w;
  for (const ProcessTable& t : tables) {
    for (int k = 0; k < 2; ++k) {
      for (int p : {kClassic, kRefined}) {
        w.vs_meshopt[p] = std::max(w.vs_meshopt[p], TimeRatio(t.cells[k][p], t.cells[k][kMeshopt]));
        if (Succeeded(t.cells[k][p])) {
          w.bytes[p] = std::max(w.bytes[p], BytesPerTriangle(t.cells[k][p], t.file.triangles));
        }
      }
      w.refined_vs_classic =
          std::max(w.refined_vs_classic, TimeRatio(t.cells[k][kRefined], t.cells[k][kClassic]));
    }
  }
  return w;
}

void PrintProcessGoals(const Worst& w, bool large) {
  std::printf("\nwhole-process goals:\n");
  std::printf("  %-44s classic %s, refined %s\n", "time / meshopt_obj at most 1.50",
              Verdict(w.vs_meshopt[0], 1.5, "%.2f").c_str(),
              Verdict(w.vs_meshopt[1], 1.5, "%.2f").c_str());
  std::printf("  %-44s %s\n", "refined / classic time at most 1.50",
              Verdict(w.refined_vs_classic, 1.5, "%.2f").c_str());
  std::printf("  %-44s %s\n", "10M-triangle time at most 12 x the 1M time",
              large ? Verdict(w.growth, 12, "%.1f").c_str() : "NOT RUN (use --large)");
  std::printf("  %-44s classic %s, refined %s\n", "peak RSS at most 300 bytes per triangle",
              Verdict(w.bytes[0], 300, "%.0f").c_str(), Verdict(w.bytes[1], 300, "%.0f").c_str());
}

void PrintProcesses(const std::vector<ProcessTable>& tables, const Setup& setup, long parent_kb,
                    long trivial_kb, bool large) {
  std::printf("\n== whole processes: each program from start to exit, at keep 50%% and 10%%\n");
  std::printf("wall clock; CPU = user + system time of all its threads; peak RSS from wait4,\n");
  std::printf("which counts the %ld KB this process held at each fork (/bin/true run the same\n",
              parent_kb);
  std::printf("way peaks at %ld KB); bytes/tri = peak RSS per input triangle\n", trivial_kb);
  for (const ProcessTable& t : tables) PrintProcessTable(t, setup);
  Worst worst = FindWorst(tables);
  if (tables.size() > 1) PrintGrowth(tables[tables.size() - 2], tables.back(), worst.growth);
  PrintProcessGoals(worst, large);
}

// ------------------------------------------------------------------ main

struct Options {
  bool quick = false, large = false;
  int runs = 0;
  std::string before;
  int pause = 0;
};

bool ParseOptions(int argc, char** argv, Options& opt) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      opt.quick = true;
    } else if (std::strcmp(argv[i], "--large") == 0) {
      opt.large = true;
    } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      opt.runs = std::atoi(argv[++i]);
      if (opt.runs < 1) return false;
    } else if (std::strcmp(argv[i], "--before") == 0 && i + 1 < argc) {
      opt.before = argv[++i];
    } else if (std::strcmp(argv[i], "--pause") == 0 && i + 1 < argc) {
      opt.pause = std::atoi(argv[++i]);
      if (opt.pause < 1) return false;
    } else {
      return false;
    }
  }
  return true;
}

// The end-to-end figures of the classic simplification at keep 50% on the
// largest of the step tables' files; returns whether it ran.
bool PrintEndToEnd(const BenchFile& file, const ChildRun& cli, long parent_kb, bool quick,
                   bool contraction_met) {
  double checksum = 0;
  const double floor = ReadAndParseFloor(file.path, checksum);
  const double bytes_per_triangle =
      static_cast<double>(cli.max_rss_kb) * 1024.0 / static_cast<double>(file.triangles);
  std::printf("\nzelfin-cli -m simplify -k 50 on %lld triangles (%.1f MB of OBJ)\n",
              static_cast<long long>(file.triangles),
              static_cast<double>(fs::file_size(file.path)) / 1e6);
  if (cli.status != 0) {
    std::printf("zelfin-cli FAILED (exit status %d): %s\n", cli.status, ZELFIN_CLI_PATH);
  }
  std::printf("%-28s %14s   goal: under 3 s for 1M triangles\n", "end to end",
              Cell(cli.seconds).c_str());
  std::printf("%-28s %14s   (ReadTextFile + from_chars of every number; checksum %.6g)\n",
              "read + parse floor", Cell(floor).c_str(), checksum);
  std::printf("%-28s %11ld KB   %.0f bytes per input triangle   goal: under 600\n", "peak RSS",
              cli.max_rss_kb, bytes_per_triangle);
  std::printf("%-28s %11ld KB   (the parent's RSS at the fork, included above)\n", "", parent_kb);
  const bool ran = cli.status == 0;
  std::printf("\ngoals: contraction %s, end to end %s, memory %s\n",
              contraction_met ? "met" : "MISSED",
              !ran              ? "NOT RUN"
              : quick           ? "(measured on 1M only)"
              : cli.seconds < 3 ? "met"
                                : "MISSED",
              !ran                       ? "NOT RUN"
              : bytes_per_triangle < 600 ? "met"
                                         : "MISSED");
  return ran;
}

// The refined simplification in this process, its deviation measured after
// the file is written: the simplification's time (to the written file) and
// the measurement's, fastest of `runs` each. Returns whether the goal holds.
bool PrintDeviationCost(const BenchFile& file, const fs::path& out, int runs) {
  std::printf(
      "\n== measuring the deviation after zelfin-cli --refined, %lld triangles, "
      "fastest of %d\n",
      static_cast<long long>(file.triangles), runs);
  std::printf("%-8s %14s %14s %10s %12s   goal: measuring at most 25%% of simplifying\n", "keep",
              "simplify", "measure", "share", "deviation");
  bool met = true;
  for (const double keep : {0.5, 0.1}) {
    double simplify = 1e300, measure = 1e300, max = 0;
    for (int r = 0; r < runs; ++r) {
      zelfin::SilentProgress silent;
      const auto t0 = std::chrono::steady_clock::now();
      const zelfin::SimplifyResult result = zelfin::SimplifyFile(
          file.path, out.string() + "/", keep, silent, zelfin::SimplifyMethod::kRefined);
      const double all = Seconds(t0), spent = result.deviation ? result.deviation->seconds : 0;
      simplify = std::min(simplify, all - spent);
      measure = std::min(measure, spent);
      if (result.deviation) max = result.deviation->max / result.deviation->diagonal;
    }
    const double share = measure / simplify;
    met = met && share <= 0.25;
    std::printf("%6.0f%%  %14s %14s %9.1f%% %12.2e   %s\n", keep * 100, Cell(simplify).c_str(),
                Cell(measure).c_str(), 100 * share, max, share <= 0.25 ? "met" : "MISSED");
  }
  return met;
}

bool AllSucceeded(const std::vector<ProcessTable>& tables, const Setup& setup) {
  for (const ProcessTable& t : tables) {
    for (int k = 0; k < 2; ++k) {
      for (int p = 0; p < kPrograms; ++p) {
        if (setup.has[p] && !Succeeded(t.cells[k][p])) return false;
      }
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!ParseOptions(argc, argv, opt)) {
    std::fprintf(stderr, "usage: %s [--quick] [--large] [--runs R] [--before CLI] [--pause S]\n",
                 argv[0]);
    return 2;
  }
  const fs::path dir = fs::temp_directory_path() / ("zelfin_bench_" + std::to_string(getpid()));
  Setup setup;
  setup.out = dir / "out";
  setup.runs = opt.runs;
  setup.before = opt.before;
  setup.pause = opt.pause;
  fs::create_directories(setup.out / "before");
  zelfin::bench::PrintPageCost();
  std::vector<BenchFile> files = {WriteTorus(dir, 100000)};
  if (!opt.quick) files.push_back(WriteTorus(dir, 1000000));
  std::vector<BenchFile> process_files = {files.back()};
  if (opt.large) process_files.push_back(WriteTorus(dir, 10000000));

  // Whole processes first, while this process is small: a forked child's peak
  // RSS includes what it shared with its parent.
  const long parent_rss_kb = zelfin::bench::OwnRssKb();
  const long trivial_rss_kb = zelfin::bench::RunChild({"/bin/true"}).max_rss_kb;
  setup.has[kRefined] = zelfin::bench::HelpMentions(ZELFIN_CLI_PATH, "--refined");
  setup.has[kClassicBefore] = !setup.before.empty();
  setup.has[kRefinedBefore] =
      !setup.before.empty() && zelfin::bench::HelpMentions(setup.before, "--refined");
#ifdef ZELFIN_MESHOPT_OBJ_PATH
  setup.has[kMeshopt] = true;
#endif
  std::vector<ProcessTable> tables;
  for (const BenchFile& f : process_files) tables.push_back(RunProcesses(f, setup));

  bool contraction_met = true;
  for (const BenchFile& f : files) contraction_met = PrintStepTable(f) && contraction_met;
  const bool ran = PrintEndToEnd(files.back(), tables.front().cells[0][kClassic].run, parent_rss_kb,
                                 opt.quick, contraction_met);
  PrintProcesses(tables, setup, parent_rss_kb, trivial_rss_kb, opt.large);
  PrintDeviationCost(files.back(), setup.out, opt.runs > 0 ? opt.runs : 3);

  std::error_code ec;
  fs::remove_all(dir, ec);
  return ran && AllSucceeded(tables, setup) ? 0 : 1;
}
