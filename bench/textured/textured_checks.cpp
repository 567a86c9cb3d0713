// Self-checks of simplify_quality --textured: the generated model, the
// textured OBJ reader and the attribute measurements, on meshes whose answers
// are known.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/attribute_error.h"
#include "common/textured_obj.h"
#include "support/mesh_gen.h"
#include "textured/textured_quality.h"

namespace zelfin::bench {

namespace {

namespace fs = std::filesystem;

bool Near(double got, double want, double tolerance) {
  return std::abs(got - want) <= tolerance;
}

// Written as OBJ and read back, the model is what was generated, number for number.
bool CheckRoundTrip(const gen::TexturedMesh& m) {
  const fs::path file =
      fs::temp_directory_path() / ("zelfin_textured_check_" + std::to_string(getpid()) + ".obj");
  std::ofstream(file, std::ios::binary) << gen::TexturedObj(m, "textured.mtl");
  gen::TexturedMesh back;
  std::string error;
  const bool read = ReadTexturedObj(file.string(), back, error);
  std::error_code ec;
  fs::remove(file, ec);
  return read && back.xyz == m.xyz && back.uv == m.uv && back.normal == m.normal && back.v == m.v &&
         back.vt == m.vt && back.vn == m.vn && back.material == m.material &&
         back.materials == m.materials;
}

// Twice the signed area of triangle t in UV space.
double UvArea(const gen::TexturedMesh& m, size_t t) {
  const double* a = &m.uv[2 * m.vt[3 * t]];
  const double* b = &m.uv[2 * m.vt[3 * t + 1]];
  const double* c = &m.uv[2 * m.vt[3 * t + 2]];
  return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

// Two islands that meet at a seam of 4n positions (the equator) and hold
// both materials each; every UV triangle turns as its surface triangle does
// (counter-clockwise), so no island is mirrored.
bool CheckLayout(const gen::TexturedMesh& m) {
  size_t islands = 0;
  const std::vector<uint32_t> island = UvIslands(m, islands);
  std::vector<uint32_t> first(m.xyz.size() / 3, UINT32_MAX);
  std::vector<bool> seam(first.size());
  for (size_t c = 0; c < m.v.size(); ++c) {
    uint32_t& f = first[m.v[c]];
    if (f == UINT32_MAX) f = m.vt[c];
    if (f != m.vt[c]) seam[m.v[c]] = true;
  }
  bool combination[2][2] = {}, turned = true;
  for (size_t t = 0; t < m.TriangleCount() && islands == 2; ++t) {
    combination[island[t]][m.material[t]] = true;
    turned = turned && UvArea(m, t) > 0;
  }
  const auto n = static_cast<size_t>(std::lround(std::sqrt(m.TriangleCount() / 12.0)));
  return islands == 2 && static_cast<size_t>(std::count(seam.begin(), seam.end(), true)) == 4 * n &&
         combination[0][0] && combination[0][1] && combination[1][0] && combination[1][1] && turned;
}

// Unit normals pointing outward, `mean` degrees from the normals of the
// faces around them on average: under 3 (at 120k triangles they are 1.3 off,
// less on finer meshes; the sphere's normals, without the bumps, 12.5).
bool CheckNormals(const gen::TexturedMesh& m, double& mean) {
  bool ok = true;
  double sum = 0;
  for (size_t c = 0; c < m.v.size(); ++c) {
    const double* p[3] = {&m.xyz[3 * m.v[c - c % 3]], &m.xyz[3 * m.v[c - c % 3 + 1]],
                          &m.xyz[3 * m.v[c - c % 3 + 2]]};
    double e1[3], e2[3];
    for (int a = 0; a < 3; ++a) {
      e1[a] = p[1][a] - p[0][a];
      e2[a] = p[2][a] - p[0][a];
    }
    const double face[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                            e1[0] * e2[1] - e1[1] * e2[0]};
    const double* n = &m.normal[3 * m.vn[c]];
    const double* at = &m.xyz[3 * m.v[c]];
    const double dot = face[0] * n[0] + face[1] * n[1] + face[2] * n[2];
    const double len = std::hypot(face[0], face[1], face[2]);
    sum += std::acos(std::min(1.0, dot / len)) * 180 / 3.14159265358979323846;
    ok = ok && Near(std::hypot(n[0], n[1], n[2]), 1, 1e-12) &&
         n[0] * at[0] + n[1] * at[1] + n[2] * at[2] > 0;
  }
  mean = sum / static_cast<double>(m.v.size());
  return ok && mean < 3;
}

// A texture coordinate on the other side of u = 0.5 from `vt`'s: another island.
uint32_t OtherIsland(const gen::TexturedMesh& m, uint32_t vt) {
  uint32_t i = 0;
  while ((m.uv[2 * i] < 0.5) == (m.uv[2 * vt] < 0.5)) ++i;
  return i;
}

// Known answers: the model against itself, with one island moved 0.1 in UV,
// with a corner's UV taken from the other island, lowered by 0.01 so that
// points just north of the seam lie nearest to south triangles (whose UVs are
// half the UV square away: the island rule must not count them), with its
// normals flipped, without attributes and with one material.
bool CheckMeasurements(const gen::TexturedMesh& m, int threads) {
  const AttributeReference ref(m);
  auto measure = [&](const gen::TexturedMesh& out) { return ref.Measure(out, 20000, 3, threads); };
  const AttributeErrors self = measure(m);
  bool ok = self.has_uv && self.has_normals && self.uv_max <= 1e-12 && self.normal_p99 <= 1e-6 &&
            self.merged == 0 && ref.MaterialsKept(m) == 2;
  gen::TexturedMesh out = m;
  for (size_t i = 0; i < out.uv.size(); i += 2) out.uv[i + 1] += out.uv[i] < 0.5 ? 0.1 : 0;
  const AttributeErrors moved = measure(out);
  ok = ok && Near(moved.uv_max, 0.1, 1e-9) && moved.uv_mean > 0.04 && moved.uv_mean < 0.06 &&
       moved.merged == 0;
  out = m;
  out.vt[0] = OtherIsland(m, m.vt[0]);
  ok = ok && measure(out).merged == 1;
  out = m;
  for (size_t i = 2; i < out.xyz.size(); i += 3) out.xyz[i] -= 0.01;
  ok = ok && measure(out).uv_max < 0.01;
  out = m;
  for (double& x : out.normal) x = -x;
  ok = ok && Near(measure(out).normal_mean, 180, 1e-9);
  out = m;
  out.vt.clear();
  out.vn.clear();
  out.material.clear();
  out.materials.clear();
  const AttributeErrors bare = measure(out);
  ok = ok && !bare.has_uv && !bare.has_normals && ref.MaterialsKept(out) == -1;
  out = m;
  std::fill(out.material.begin(), out.material.end(), 0);
  return ok && ref.MaterialsKept(out) == 1;
}

}  // namespace

bool TexturedSelfCheck(int threads) {
  const gen::TexturedMesh small = gen::TexturedSphere(2, 4800);
  const gen::TexturedMesh fine = gen::TexturedSphere(1, 120000);
  double mean = 0;
  const bool ok = CheckRoundTrip(small) && CheckLayout(small) && CheckLayout(fine) &&
                  CheckNormals(fine, mean) && CheckMeasurements(small, threads);
  std::printf(
      "textured self-check: %s (the OBJ read back unchanged; two UV islands meeting at a seam\n"
      "of 4n positions, each with both materials, none mirrored; unit outward normals, %.2f\n"
      "degrees from the faces' on average; the model to itself: UV error and normals 0; an\n"
      "island moved 0.1: UV error 0.1; a corner in the other island: one triangle merges\n"
      "islands; lowered across the seam: UV error small; normals flipped: 180 degrees;\n"
      "materials kept counted)\n",
      ok ? "passed" : "FAILED", mean);
  return ok;
}

}  // namespace zelfin::bench
