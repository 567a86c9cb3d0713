// simplify_quality --textured. The input is TexturedSphere's model of about
// 240k triangles (two UV islands meeting at a seam on the equator, a normal
// per position, two materials) written as OBJ with its .mtl, and the same
// surface as v and f lines only. At keep 50% and 20% it runs
//   - zelfin-cli -m simplify --refined on the v and f copy: the geometry-only
//     result that the attribute-aware one is held against;
//   - zelfin-cli -m simplify --refined on the textured file;
//   - bench/meshopt_attributes.mjs (simplifyWithAttributes) to the refined
//     output's triangle count, when node and its npm package are there;
// and prints per output its triangles, wall time, Hausdorff and RMS distances
// (fractions of the bounding-box diagonal), UV error (mean, max; fractions of
// the UV square's side), normal deviation (mean, 99th percentile; degrees),
// materials kept and triangles that merge UV islands, with "-" where the
// output has no such attribute, then the goals.
#include "textured/textured_quality.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/attribute_error.h"
#include "common/child_process.h"
#include "common/mesh_distance.h"
#include "common/node_peer.h"
#include "common/textured_obj.h"
#include "support/mesh_gen.h"

namespace zelfin::bench {

namespace {

namespace fs = std::filesystem;

constexpr int64_t kTriangles = 240000;
constexpr int kKeeps[] = {50, 20};
constexpr uint64_t kSeed = 12345;
constexpr size_t kSamplesPerInputTriangle = 2;

struct Peer {
  std::string node, script;
  std::string missing;  // why it cannot run, or ""
};

Peer FindPeer() {
  const NodePeer node = FindNodePeer(ZELFIN_BENCH_DIR);
  return {node.node, ZELFIN_BENCH_DIR "/meshopt_attributes.mjs", node.missing};
}

// The model, its two files, and what every measurement of an output reuses.
struct Input {
  gen::TexturedMesh mesh;
  fs::path textured, plain;
  double diagonal;
  size_t samples;
  Surface surface;
  AttributeReference reference;

  explicit Input(const fs::path& dir)
      : mesh(gen::TexturedSphere(1, kTriangles)),
        textured(dir / "textured.obj"),
        plain(dir / "textured_geometry.obj"),
        diagonal(Diagonal(mesh.xyz)),
        samples(kSamplesPerInputTriangle * mesh.TriangleCount()),
        surface(Geometry(mesh), samples, kSeed),
        reference(mesh) {
    std::ofstream(textured, std::ios::binary) << gen::TexturedObj(mesh, "textured.mtl");
    std::ofstream(dir / "textured.mtl", std::ios::binary) << gen::TexturedMtl(mesh);
    gen::TexturedMesh bare = mesh;
    bare.vt.clear();
    bare.vn.clear();
    bare.material.clear();
    std::ofstream(plain, std::ios::binary) << gen::TexturedObj(bare, "");
  }
};

struct Row {
  Row(int k, const char* m) : keep(k), method(m) {}

  int keep;
  const char* method;
  bool ran = false;
  size_t triangles = 0;
  double seconds = 0;
  Symmetric distance;  // fractions of the diagonal
  AttributeErrors attributes;
  int materials = -1;  // kept; -1: the output has none
};

std::vector<std::string> RefinedCommand(const fs::path& file, int keep, const fs::path& out,
                                        fs::path& written) {
  const std::string k = std::to_string(keep);
  written = out / (file.stem().string() + "_Simplified" + k + "%.obj");
  return {ZELFIN_CLI_PATH,    "-m",         "simplify", "-k", k, "--refined", "-q", "-o",
          out.string() + "/", file.string()};
}

std::vector<std::string> PeerCommand(const Peer& peer, const Input& in, size_t triangles,
                                     const fs::path& out, fs::path& written) {
  written = out / ("textured_meshopt" + std::to_string(triangles) + ".obj");
  return {peer.node, peer.script, in.textured.string(), written.string(),
          std::to_string(triangles)};
}

// Runs the command and measures what it wrote; false on failure.
bool Measure(const Input& in, const std::vector<std::string>& command, const fs::path& written,
             int threads, Row& row) {
  const ChildRun run = RunChild(command);
  gen::TexturedMesh out;
  std::string error;
  if (run.status != 0 || !ReadTexturedObj(written.string(), out, error)) {
    std::printf("%3d%%  %-17s FAILED (exit status %d) %s\n", row.keep, row.method, run.status,
                error.c_str());
    return false;
  }
  std::error_code ec;
  fs::remove(written, ec);
  row.ran = true;
  row.triangles = out.TriangleCount();
  row.seconds = run.seconds;
  const Symmetric d = Compare(in.surface, Surface(Geometry(out), in.samples, kSeed));
  row.distance = {d.hausdorff / in.diagonal, d.rms / in.diagonal};
  row.attributes = in.reference.Measure(out, in.samples, kSeed, threads);
  row.materials = in.reference.MaterialsKept(out);
  return true;
}

std::string Cell(bool known, const char* format, double value) {
  if (!known) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, format, value);
  return buf;
}

void PrintRow(const Row& r, size_t materials) {
  if (!r.ran) return;
  const AttributeErrors& a = r.attributes;
  const std::string kept =
      r.materials < 0 ? "-" : std::to_string(r.materials) + "/" + std::to_string(materials);
  std::printf("%3d%%  %-17s %9zu %7.2f s %10.3e %10.3e %9s %9s %7s %7s %9s %6s\n", r.keep, r.method,
              r.triangles, r.seconds, r.distance.hausdorff, r.distance.rms,
              Cell(a.has_uv, "%.2e", a.uv_mean).c_str(), Cell(a.has_uv, "%.2e", a.uv_max).c_str(),
              Cell(a.has_normals, "%.2f", a.normal_mean).c_str(),
              Cell(a.has_normals, "%.2f", a.normal_p99).c_str(), kept.c_str(),
              Cell(a.has_uv, "%.0f", static_cast<double>(a.merged)).c_str());
  std::fflush(stdout);
}

void PrintHeader(const Input& in, const Peer& peer) {
  const gen::TexturedMesh& m = in.mesh;
  size_t islands = 0;
  UvIslands(m, islands);
  std::printf("\ntextured bumpy sphere: %zu triangles, %zu positions, %zu normals, %zu materials\n",
              m.TriangleCount(), m.xyz.size() / 3, m.normal.size() / 3, m.materials.size());
  std::printf("%zu texture coordinates in %zu islands, %zu seam positions with two of them\n",
              m.uv.size() / 2, islands, m.uv.size() / 2 - m.xyz.size() / 3);
  std::printf("bounding-box diagonal %.4f; %zu sample points per surface spread by area\n",
              in.diagonal, in.samples);
  std::printf("peer: %s\n",
              peer.missing.empty()
                  ? "node bench/meshopt_attributes.mjs (simplifyWithAttributes; UV weight 1, "
                    "normal weight 0.5;\n      the material part of each vertex's identity)"
                  : ("not run: " + peer.missing).c_str());
  std::printf(
      "Hausdorff, RMS: both ways, fractions of the diagonal (samples plus vertices); UV error:\n"
      "fractions of the UV square's side; N: normal deviation, degrees; both against the nearest\n"
      "input point of the output triangle's own UV island; merged: triangles across islands\n");
  std::printf("%-23s %9s %9s %10s %10s %9s %9s %7s %7s %9s %6s\n", "keep  method", "triangles",
              "time", "Hausdorff", "RMS", "UV mean", "UV max", "N mean", "N p99", "materials",
              "merged");
}

const char* Verdict(bool met) {
  return met ? "met" : "MISSED";
}

void PrintGeometryGoal(const Row& bare, const Row& refined) {
  std::printf(
      "  geometry within 1.2 x that of the refined method on the same surface without "
      "attributes: ");
  if (!bare.ran || !refined.ran) {
    std::printf("NOT RUN\n");
    return;
  }
  const double h = refined.distance.hausdorff / bare.distance.hausdorff;
  const double r = refined.distance.rms / bare.distance.rms;
  std::printf("Hausdorff %.2f x, RMS %.2f x: %s\n", h, r, Verdict(h <= 1.2 && r <= 1.2));
}

void PrintAttributeGoals(const Row& refined, const Row& peer, size_t materials) {
  const AttributeErrors& a = refined.attributes;
  const char* const no_uv = "not measurable: the refined output has no vt";
  std::printf("  UV error at most meshoptimizer's: ");
  if (!a.has_uv) {
    std::printf("%s\n", no_uv);
  } else if (!peer.ran || !peer.attributes.has_uv) {
    std::printf("not measurable: meshoptimizer not run\n");
  } else {
    const double mean = a.uv_mean / peer.attributes.uv_mean,
                 max = a.uv_max / peer.attributes.uv_max;
    std::printf("mean %.2f x, max %.2f x: %s\n", mean, max, Verdict(mean <= 1 && max <= 1));
  }
  std::printf("  no UV island merged: ");
  if (!a.has_uv) {
    std::printf("%s\n", no_uv);
  } else {
    std::printf("%zu triangles merge islands: %s\n", a.merged, Verdict(a.merged == 0));
  }
  std::printf("  every material kept: ");
  if (refined.materials < 0) {
    std::printf("not measurable: the refined output has no usemtl\n");
  } else {
    std::printf("%d of %zu: %s\n", refined.materials, materials,
                Verdict(refined.materials == static_cast<int>(materials)));
  }
}

// The three rows of one keep; false when a program failed.
bool MeasureKeep(const Input& in, const Peer& peer, int keep, const fs::path& out, int threads,
                 std::vector<Row>& rows) {
  Row bare{keep, "refined, v f only"}, refined{keep, "refined"}, meshopt{keep, "meshopt attrib."};
  const size_t materials = in.mesh.materials.size();
  fs::path written;
  bool ok = Measure(in, RefinedCommand(in.plain, keep, out, written), written, threads, bare);
  PrintRow(bare, materials);
  ok =
      Measure(in, RefinedCommand(in.textured, keep, out, written), written, threads, refined) && ok;
  PrintRow(refined, materials);
  const size_t target =
      refined.ran ? refined.triangles
                  : static_cast<size_t>(std::llround(keep / 100.0 * in.mesh.TriangleCount()));
  if (peer.missing.empty()) {
    const std::vector<std::string> command = PeerCommand(peer, in, target, out, written);
    ok = Measure(in, command, written, threads, meshopt) && ok;
    PrintRow(meshopt, materials);
  } else {
    std::printf("%3d%%  %-17s not run\n", keep, meshopt.method);
  }
  rows.insert(rows.end(), {bare, refined, meshopt});
  return ok;
}

}  // namespace

int RunTexturedQuality(int threads) {
  if (!TexturedSelfCheck(threads)) return 1;
  if (!HelpMentions(ZELFIN_CLI_PATH, "--refined")) {
    std::printf("zelfin-cli has no --refined: nothing to measure\n");
    return 1;
  }
  const Peer peer = FindPeer();
  const fs::path dir = fs::temp_directory_path() / ("zelfin_textured_" + std::to_string(getpid()));
  fs::create_directories(dir / "out");
  bool ok = true;
  {
    const Input in(dir);
    PrintHeader(in, peer);
    std::vector<Row> rows;
    for (int keep : kKeeps) ok = MeasureKeep(in, peer, keep, dir / "out", threads, rows) && ok;
    for (size_t i = 0; i + 2 < rows.size(); i += 3) {
      std::printf("\ngoals at keep %d%%:\n", rows[i].keep);
      PrintGeometryGoal(rows[i], rows[i + 1]);
      PrintAttributeGoals(rows[i + 1], rows[i + 2], in.mesh.materials.size());
    }
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return ok ? 0 : 1;
}

}  // namespace zelfin::bench
