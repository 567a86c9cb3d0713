// Simplification quality: how far each simplified surface strays from its
// input, next to meshopt_simplify's on the same meshes.
//
//   build/bench/simplify_quality             bumpy spheres of about 240k and 1M triangles
//   build/bench/simplify_quality --quick     the 240k one only
//   build/bench/simplify_quality --textured  a textured model: UVs, normals and
//                                            materials too (textured/textured_quality.cpp)
//   build/bench/simplify_quality --real [DIR] [--keep LIST] [--only NAME] [--save DIR]
//        the refined method on every OBJ of DIR (default ../shared/realmeshes beside
//        the repository) against meshoptimizer's and CGAL's simplifications, with
//        fold-overs and torn edges too (real/real_quality.cpp)
//
// For each mesh it runs zelfin-cli -m simplify (classic, and --refined when
// zelfin-cli takes that option) and meshopt_obj at keep 50% and 10%, and
// prints for each output its triangles, the wall time of the whole process
// and the symmetric Hausdorff and RMS distances between output and input, as
// fractions of the input's bounding-box diagonal. Each surface gets two points
// per input triangle, spread uniformly by area, plus all its vertices; each
// point is measured exactly to the nearest triangle of the other surface. The
// classic output, written in normalised coordinates, is first mapped back
// into the input's frame. A self-check of the distance code runs first.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "common/child_process.h"
#include "common/mesh_distance.h"
#include "common/obj_reader.h"
#include "real/real_quality.h"
#include "support/mesh_gen.h"
#include "textured/textured_quality.h"

namespace {

namespace fs = std::filesystem;
using zelfin::bench::Compare;
using zelfin::bench::Diagonal;
using zelfin::bench::Symmetric;
using zelfin::bench::TriangleTree;
using zelfin::bench::TriMesh;
using zelfin::gen::GenMesh;

constexpr uint64_t kSampleSeed = 12345;
constexpr size_t kSamplesPerInputTriangle = 2;

TriMesh ToTriMesh(const GenMesh& g) {
  TriMesh m;
  m.xyz = g.xyz;
  size_t at = 0;
  for (uint8_t s : g.face_size) {
    for (uint8_t k = 2; k < s; ++k) {
      m.tri.insert(m.tri.end(), {g.corners[at], g.corners[at + k - 1], g.corners[at + k]});
    }
    at += s;
  }
  return m;
}

// A mesh with its tree and its sample points.
struct Surface : zelfin::bench::Surface {
  Surface(TriMesh m, size_t count) : zelfin::bench::Surface(std::move(m), count, kSampleSeed) {}
};

// ------------------------------------------------------------ self-check

bool Near(double got, double want, double tolerance) {
  return std::abs(got - want) <= tolerance;
}

// Every region of a triangle's plane, and a triangle without area.
bool CheckPointTriangle() {
  const double a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {0, 1, 0}, b2[3] = {2, 0, 0};
  const struct {
    double p[3], d2;
  } cases[] = {
      {{0.25, 0.25, 2}, 4},  // above the inside
      {{-1, -1, 0}, 2},      // beyond corner a
      {{3, -1, 1}, 6},       // beyond corner b
      {{-1, 3, 0}, 5},       // beyond corner c
      {{0.5, -2, 1}, 5},     // beyond edge ab
      {{-2, 0.5, 0}, 4},     // beyond edge ac
      {{1, 1, 0}, 0.5},      // beyond edge bc
  };
  for (const auto& k : cases) {
    if (!Near(zelfin::bench::PointTriangleDistance2(k.p, a, b, c), k.d2, 1e-15)) return false;
  }
  const double above[3] = {1.5, 1, 0}, past[3] = {3, 0, 0};
  return Near(zelfin::bench::PointTriangleDistance2(above, a, b, b2), 1, 1e-15) &&
         Near(zelfin::bench::PointTriangleDistance2(past, a, b2, b), 1, 1e-15);
}

// The tree finds the very triangle a search of all of them finds, for points
// far off and for points close to the surface.
bool CheckTreeAgainstAll(const TriMesh& m) {
  const TriangleTree tree(m);
  std::vector<double> points = zelfin::bench::SamplePoints(m, 500, 7);
  zelfin::gen::Rng rng(8);
  for (double& x : points) x += rng.Range(-0.02, 0.02);
  for (int i = 0; i < 3000; ++i) points.push_back(rng.Range(-1.6, 1.6));
  for (size_t i = 0; i < points.size(); i += 3) {
    double best = std::numeric_limits<double>::infinity();
    for (size_t t = 0; t < m.tri.size(); t += 3) {
      best = std::min(best, zelfin::bench::PointTriangleDistance2(&points[i], &m.xyz[3 * m.tri[t]],
                                                                  &m.xyz[3 * m.tri[t + 1]],
                                                                  &m.xyz[3 * m.tri[t + 2]]));
    }
    if (tree.Distance2(&points[i]) != best) return false;
  }
  return true;
}

// The bumpy sphere is closed, consistently turned and of genus 0: every
// directed edge once and its reverse too, and V - E + F = 2.
bool CheckClosed(const TriMesh& m) {
  std::vector<uint64_t> edges;
  for (size_t t = 0; t < m.tri.size(); t += 3) {
    for (int k = 0; k < 3; ++k) {
      edges.push_back(uint64_t{m.tri[t + k]} << 32 | m.tri[t + (k + 1) % 3]);
    }
  }
  std::sort(edges.begin(), edges.end());
  if (std::adjacent_find(edges.begin(), edges.end()) != edges.end()) return false;
  for (uint64_t e : edges) {
    if (!std::binary_search(edges.begin(), edges.end(), (e << 32) | (e >> 32))) return false;
  }
  const int64_t v = static_cast<int64_t>(m.xyz.size() / 3), e = static_cast<int64_t>(edges.size());
  return v - e / 2 + static_cast<int64_t>(m.TriangleCount()) == 2;
}

// A mesh against itself, a plane against a copy moved along its normal, and
// a square against a rectangle twice as long, whose far side lies 10 away.
bool CheckKnownDistances(const TriMesh& sphere) {
  const Surface s(sphere, 20000);
  if (Compare(s, s).hausdorff > 1e-12) return false;
  TriMesh plane = ToTriMesh(zelfin::gen::FlatGrid(1, 20, 20)), moved = plane;
  for (size_t i = 2; i < moved.xyz.size(); i += 3) moved.xyz[i] += 0.375;
  const Symmetric shift = Compare(Surface(plane, 20000), Surface(moved, 20000));
  if (!Near(shift.hausdorff, 0.375, 1e-12) || !Near(shift.rms, 0.375, 1e-12)) return false;
  const size_t n = 20000;
  const Symmetric wide = Compare(Surface(ToTriMesh(zelfin::gen::FlatGrid(1, 10, 10)), n),
                                 Surface(ToTriMesh(zelfin::gen::FlatGrid(1, 20, 10)), n));
  // Half the rectangle's area lies 0..10 away (mean square 100 / 3); its 110
  // vertices past the square lie 1..10 away (11 x 385 squared); 121 + 231 vertices in all.
  const double rms = std::sqrt((n * 50.0 / 3 + 11 * 385) / (2.0 * n + 121 + 231));
  return Near(wide.hausdorff, 10, 1e-12) && Near(wide.rms, rms, 0.01 * rms);
}

bool SelfCheck() {
  const TriMesh sphere = ToTriMesh(zelfin::gen::BumpySphere(3, 3000));
  const bool ok = CheckPointTriangle() && CheckTreeAgainstAll(sphere) && CheckClosed(sphere) &&
                  CheckKnownDistances(sphere);
  std::printf(
      "distance self-check: %s (point-triangle regions; tree = search of all triangles;\n"
      "the bumpy sphere closed; a mesh to itself 0; a plane moved 0.375 along its normal;\n"
      "a 10 x 10 square to a 20 x 10 rectangle: Hausdorff 10)\n",
      ok ? "passed" : "FAILED");
  return ok;
}

// ------------------------------------------------------------- methods

enum Method { kClassic, kRefined, kMeshopt, kMethods };
const char* const kMethodNames[kMethods] = {"classic", "refined", "meshopt"};

// The classic simplification's normalisation of the input: coordinate c of
// axis a becomes (c - m[a]) / s - 1, from the extremes of all v lines.
struct Frame {
  double m[3], s;
};

Frame NormalisationOf(const std::vector<double>& xyz) {
  double mn[3], mx[3];
  for (int a = 0; a < 3; ++a) mn[a] = mx[a] = xyz[a];
  for (size_t i = 0; i < xyz.size(); ++i) {
    mn[i % 3] = std::min(mn[i % 3], xyz[i]);
    mx[i % 3] = std::max(mx[i % 3], xyz[i]);
  }
  Frame f{{0, 0, 0}, 0};
  double h[3];
  for (int a = 0; a < 3; ++a) f.s = std::max(f.s, h[a] = (mx[a] - mn[a]) / 2);
  for (int a = 0; a < 3; ++a) f.m[a] = mn[a] - (f.s - h[a]) / 2;
  return f;
}

void MapBack(std::vector<double>& xyz, const Frame& f) {
  for (size_t i = 0; i < xyz.size(); ++i) xyz[i] = (xyz[i] + 1) * f.s + f.m[i % 3];
}

struct Input {
  std::string path;
  size_t triangles;
  Frame frame;
  double diagonal;
};

std::vector<std::string> Command(Method m, const Input& in, int keep, const fs::path& out,
                                 fs::path& written) {
  const std::string stem = fs::path(in.path).stem().string(), k = std::to_string(keep);
  if (m == kMeshopt) {
    written = out / (stem + "_meshopt" + k + ".obj");
#ifdef ZELFIN_MESHOPT_OBJ_PATH
    return {ZELFIN_MESHOPT_OBJ_PATH, in.path, written.string(), std::to_string(keep / 100.0)};
#endif
  }
  written = out / (stem + "_Simplified" + k + "%.obj");
  std::vector<std::string> args = {ZELFIN_CLI_PATH, "-m", "simplify", "-k", k};
  if (m == kRefined) args.push_back("--refined");
  args.insert(args.end(), {"-q", "-o", out.string() + "/", in.path});
  return args;
}

// One method at one keep: runs it, reads its output into the input's frame
// and measures it against the input. Prints its row; false on failure.
bool MeasureMethod(Method m, const Input& in, const Surface& input, int keep, const fs::path& out) {
  fs::path written;
  const zelfin::bench::ChildRun run = zelfin::bench::RunChild(Command(m, in, keep, out, written));
  std::printf("%3d%%  %-8s", keep, kMethodNames[m]);
  zelfin::bench::ObjMesh<double> result;
  std::string error;
  if (run.status != 0 || !zelfin::bench::ReadObj(written.string(), result, error)) {
    std::printf(" FAILED (exit status %d) %s\n", run.status, error.c_str());
    return false;
  }
  std::error_code ec;
  fs::remove(written, ec);
  TriMesh mesh{std::move(result.xyz), std::move(result.tri)};
  if (m == kClassic) MapBack(mesh.xyz, in.frame);
  const size_t triangles = mesh.TriangleCount();
  const Symmetric d =
      Compare(input, Surface(std::move(mesh), kSamplesPerInputTriangle * in.triangles));
  std::printf(" %10zu %8.3f s %12.3e %12.3e\n", triangles, run.seconds, d.hausdorff / in.diagonal,
              d.rms / in.diagonal);
  std::fflush(stdout);
  return true;
}

// ------------------------------------------------------------------ main

// Writes the file and returns its mesh.
TriMesh WriteInput(const fs::path& dir, int64_t triangles, Input& in) {
  const GenMesh g = zelfin::gen::BumpySphere(1, triangles);
  in.path = (dir / ("bumpy" + std::to_string(g.FaceCount()) + ".obj")).string();
  std::ofstream(in.path, std::ios::binary) << zelfin::gen::PlainObj(g);
  TriMesh mesh = ToTriMesh(g);
  in.triangles = mesh.TriangleCount();
  in.frame = NormalisationOf(mesh.xyz);
  in.diagonal = Diagonal(mesh.xyz);
  return mesh;
}

bool MeasureMesh(const fs::path& dir, int64_t size, const bool (&has)[kMethods]) {
  Input in;
  TriMesh mesh = WriteInput(dir, size, in);
  const size_t triangles = in.triangles;
  std::printf("\nbumpy sphere, %zu triangles, %zu vertices; bounding-box diagonal %.4f\n",
              triangles, mesh.xyz.size() / 3, in.diagonal);
  const size_t samples = kSamplesPerInputTriangle * triangles;
  std::printf("%zu sample points per surface, spread by area, plus its vertices\n", samples);
  std::printf("%-14s %10s %10s %12s %12s   (distances: fractions of the diagonal)\n",
              "keep  method", "triangles", "time", "Hausdorff", "RMS");
  const Surface input(std::move(mesh), samples);
  bool ok = true;
  for (int keep : {50, 10}) {
    for (int m = 0; m < kMethods; ++m) {
      if (has[m]) {
        ok = MeasureMethod(Method(m), in, input, keep, dir / "out") && ok;
      } else {
        std::printf("%3d%%  %-8s %10s %10s %12s %12s\n", keep, kMethodNames[m], "-", "-", "-", "-");
      }
    }
  }
  return ok;
}

double SecondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc == 2 && std::strcmp(argv[1], "--quick") == 0;
  const bool textured = argc == 2 && std::strcmp(argv[1], "--textured") == 0;
  const bool real = argc >= 2 && std::strcmp(argv[1], "--real") == 0;
  zelfin::bench::RealOptions real_options;
  std::string error;
  if (real && !zelfin::bench::ParseRealOptions(argc, argv, 2, real_options, error)) {
    std::fprintf(stderr, "simplify_quality: %s\n", error.c_str());
  }
  if (!error.empty() || (!real && (argc > 2 || (argc == 2 && !quick && !textured)))) {
    std::fprintf(stderr,
                 "usage: %s [--quick | --textured |\n"
                 "       --real [DIR] [--keep LIST] [--only NAME] [--save DIR]]\n",
                 argv[0]);
    return 2;
  }
  const auto t0 = std::chrono::steady_clock::now();
  const int threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  if (!SelfCheck()) return 1;
  if (textured || real) {
    const int status = textured ? zelfin::bench::RunTexturedQuality(threads)
                                : zelfin::bench::RunRealQuality(real_options);
    std::printf("\n%d threads, %.1f s in all\n", threads, SecondsSince(t0));
    return status;
  }
  bool has[kMethods] = {true, zelfin::bench::HelpMentions(ZELFIN_CLI_PATH, "--refined"), false};
#ifdef ZELFIN_MESHOPT_OBJ_PATH
  has[kMeshopt] = true;
#endif
  std::printf("refined: %s; meshopt: %s\n",
              has[kRefined] ? "zelfin-cli --refined" : "not run (zelfin-cli has no --refined)",
              has[kMeshopt] ? "meshopt_obj" : "not run (meshoptimizer not found at build time)");
  const fs::path dir = fs::temp_directory_path() / ("zelfin_quality_" + std::to_string(getpid()));
  fs::create_directories(dir / "out");
  bool ok = true;
  for (int64_t size : {240000, 1000000}) {
    if (quick && size > 240000) break;
    ok = MeasureMesh(dir, size, has) && ok;
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  std::printf("\n%d threads, %.1f s in all\n", threads, SecondsSince(t0));
  return ok ? 0 : 1;
}
