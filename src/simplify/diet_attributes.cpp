#include "simplify/diet_attributes.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "simplify/diet_analysis.h"
#include "simplify/diet_first_numbers.h"
#include "simplify/diet_geometry.h"

namespace zelfin {

namespace {

// The weights that make attribute errors comparable with the position error,
// in normalised coordinates (the longest side spans 2). A shift by the whole
// side of the UV square weighs as much as a move by a sixth of the model's
// size (chosen by measurement on real models: the shape comes first, while
// the texture error stays well below meshoptimizer's); a normal turned by 0.1
// radian (about 6 degrees) as much as a move by 1/1000 of the size.
constexpr double kUvWeight = 0.35;
constexpr double kNormalWeight = 0.02;
constexpr double kWeight[kAttributes] = {kUvWeight, kUvWeight, kNormalWeight, kNormalWeight,
                                         kNormalWeight};
// Bit of `has` that attribute j needs.
constexpr uint8_t kNeeds[kAttributes] = {1, 1, 2, 2, 2};

// Identical values are one value, whichever line they stand on.
template <size_t N>
std::vector<int32_t> DedupedIds(const std::vector<std::array<double, N>>& values) {
  FirstNumbers<N> seen(values.size());
  std::vector<int32_t> ids(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    ids[i] = seen.Number(BitsOf(values[i]), static_cast<int32_t>(i));
  }
  return ids;
}

// A wedge: a vertex with one texture coordinate, normal and material (each
// -1 for none).
KeyWords<2> WedgeKey(int32_t vertex, int32_t uv, int32_t normal, int32_t material) {
  const auto word = [](int32_t high, int32_t low) {
    return uint64_t{static_cast<uint32_t>(high)} << 32 | static_cast<uint32_t>(low);
  };
  return {word(vertex, uv), word(normal, material)};
}

// The linear function s(p) = g . p + d over a triangle's plane that takes the
// values s[0..2] at its corners.
void Gradient(const TDietVec (&p)[3], const double (&s)[3], const TDietVec& n, double nn,
              double (&g)[3], double& d) {
  const TDietVec e1 = VecSub(p[1], p[0]), e2 = VecSub(p[2], p[0]);
  const TDietVec a = VecCross(e2, n), b = VecCross(n, e1);
  const double d1 = s[1] - s[0], d2 = s[2] - s[0];
  g[0] = (d1 * a.X + d2 * b.X) / nn;
  g[1] = (d1 * a.Y + d2 * b.Y) / nn;
  g[2] = (d1 * a.Z + d2 * b.Z) / nn;
  d = s[0] - (g[0] * p[0].X + g[1] * p[0].Y + g[2] * p[0].Z);
}

void AddFace(AttributeQuadric& q, int j, double area, const double (&g)[3], double d) {
  const int upper[6][2] = {{0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {2, 2}};
  for (int k = 0; k < 3; ++k) {
    q.g[j][k] += area * g[k];
    q.dg[j][k] += area * d * g[k];
  }
  for (int k = 0; k < 6; ++k) q.gg[j][k] += area * g[upper[k][0]] * g[upper[k][1]];
  q.d[j] += area * d;
  q.dd[j] += area * d * d;
}

// Every face adds its attribute fields to the quadrics of its corners' wedges.
void AddFaceFields(const DietRun& run, AttributeRun& out) {
  for (size_t t = 0; t < run.faces.size(); ++t) {
    TDietVec p[3];
    for (int c = 0; c < 3; ++c) p[c] = run.pos[static_cast<size_t>(run.faces[t][c])];
    const TDietVec n = VecCross(VecSub(p[1], p[0]), VecSub(p[2], p[0]));
    const double nn = VecSqLen(n);
    if (!(nn > 0)) continue;
    const double area = std::sqrt(nn) / 2;
    const std::array<int32_t, 3>& w = out.face_wedges[t];
    uint8_t all = 3;
    for (int c = 0; c < 3; ++c) all &= out.has[static_cast<size_t>(w[c])];
    for (int c = 0; c < 3; ++c) out.quadrics[static_cast<size_t>(w[c])].area += area;
    for (int j = 0; j < kAttributes; ++j) {
      if (!(all & kNeeds[j])) continue;
      double s[3], g[3], d;
      for (int c = 0; c < 3; ++c) s[c] = kWeight[j] * out.values[static_cast<size_t>(w[c])][j];
      Gradient(p, s, n, nn, g, d);
      for (int c = 0; c < 3; ++c) AddFace(out.quadrics[static_cast<size_t>(w[c])], j, area, g, d);
    }
  }
}

// The sums of two quadrics, member by member: the struct is doubles only.
static_assert(sizeof(AttributeQuadric) == sizeof(double) * (1 + kAttributes * (3 + 1 + 6 + 3 + 1)));
AttributeQuadric Sum(const AttributeQuadric& a, const AttributeQuadric& b) {
  AttributeQuadric s = a;
  const double* from = &b.area;
  double* to = &s.area;
  for (size_t k = 0; k < sizeof(AttributeQuadric) / sizeof(double); ++k) to[k] += from[k];
  return s;
}

// beta: area * the merged value there (weighted); the error is gamma - beta^2 / area.
double Beta(const AttributeQuadric& q, int j, const TDietVec& p) {
  return q.g[j][0] * p.X + q.g[j][1] * p.Y + q.g[j][2] * p.Z + q.d[j];
}

double Error(const AttributeQuadric& q, const TDietVec& p) {
  if (!(q.area > 0)) return 0;
  const double x[3] = {p.X, p.Y, p.Z};
  double total = 0;
  for (int j = 0; j < kAttributes; ++j) {
    const double* gg = q.gg[j];
    const double quad = gg[0] * x[0] * x[0] + gg[3] * x[1] * x[1] + gg[5] * x[2] * x[2] +
                        2 * (gg[1] * x[0] * x[1] + gg[2] * x[0] * x[2] + gg[4] * x[1] * x[2]);
    const double gamma =
        quad + 2 * (q.dg[j][0] * x[0] + q.dg[j][1] * x[1] + q.dg[j][2] * x[2]) + q.dd[j];
    const double beta = Beta(q, j, p);
    total += std::max(0.0, gamma - beta * beta / q.area);
  }
  return total;
}

}  // namespace

AttributeRun BuildAttributes(const DietRun& run, LoadedAttributes&& loaded) {
  AttributeRun out;
  const std::vector<int32_t> uv_id = DedupedIds(loaded.uvs);
  std::vector<std::array<double, 3>> normals(loaded.normals.size());
  for (size_t i = 0; i < normals.size(); ++i) {
    normals[i] = {loaded.normals[i].X, loaded.normals[i].Y, loaded.normals[i].Z};
  }
  const std::vector<int32_t> normal_id = DedupedIds(normals);
  FirstNumbers<2> wedge_of(run.VertexCount());
  out.face_wedges.resize(run.faces.size());
  for (size_t t = 0; t < run.faces.size(); ++t) {
    for (int c = 0; c < 3; ++c) {
      const int32_t uv_line = loaded.tri_uv[t][c], n_line = loaded.tri_normal[t][c];
      const int32_t uv = uv_line < 0 ? -1 : uv_id[static_cast<size_t>(uv_line)];
      const int32_t normal = n_line < 0 ? -1 : normal_id[static_cast<size_t>(n_line)];
      bool fresh = false;
      out.face_wedges[t][c] =
          wedge_of.Number(WedgeKey(run.faces[t][c], uv, normal, loaded.tri_material[t]),
                          static_cast<int32_t>(out.values.size()), fresh);
      if (fresh) {
        std::array<double, kAttributes> v{};
        if (uv >= 0) v = {loaded.uvs[uv][0], loaded.uvs[uv][1], 0, 0, 0};
        if (normal >= 0) {
          const TDietVec& nv = loaded.normals[static_cast<size_t>(normal)];
          v[2] = nv.X, v[3] = nv.Y, v[4] = nv.Z;
        }
        out.values.push_back(v);
        out.has.push_back(static_cast<uint8_t>((uv >= 0 ? 1 : 0) | (normal >= 0 ? 2 : 0)));
      }
    }
  }
  out.quadrics.resize(out.values.size());
  AddFaceFields(run, out);
  out.face_parts = std::move(loaded.tri_parts);
  out.face_material = std::move(loaded.tri_material);
  out.face_group = std::move(loaded.tri_group);
  out.face_smoothing = std::move(loaded.tri_smoothing);
  out.libraries = std::move(loaded.libraries);
  out.materials = std::move(loaded.materials);
  out.groups = std::move(loaded.groups);
  out.smoothing = std::move(loaded.smoothing);
  return out;
}

double WedgeMergeError(const AttributeRun& attributes, const WedgeMerge& merge,
                       const TDietVec& pos) {
  return Error(Sum(attributes.quadrics[static_cast<size_t>(merge.keep)],
                   attributes.quadrics[static_cast<size_t>(merge.gone)]),
               pos);
}

void MergeWedges(const VertexAdjacency& adjacency, const WedgeMerges& merges, const TDietVec& pos,
                 int32_t b, AttributeRun& attr) {
  for (int k = 0; k < merges.count; ++k) {
    const WedgeMerge& m = merges.merge[k];
    if (m.keep == m.gone || m.keep < 0 || m.gone < 0) continue;
    const size_t keep = static_cast<size_t>(m.keep), gone = static_cast<size_t>(m.gone);
    attr.quadrics[keep] = Sum(attr.quadrics[keep], attr.quadrics[gone]);
    attr.has[keep] |= attr.has[gone];
    const AttributeQuadric& q = attr.quadrics[keep];
    if (!merges.fixed && q.area > 0) {
      // The merged wedge takes the area-weighted mean of its faces' fields.
      for (int j = 0; j < kAttributes; ++j) {
        if (attr.has[keep] & kNeeds[j]) {
          attr.values[keep][j] = Beta(q, j, pos) / q.area / kWeight[j];
        }
      }
    }
    for (const int32_t j : adjacency.Faces(b)) {
      for (int32_t& w : attr.face_wedges[static_cast<size_t>(j)]) {
        if (w == m.gone) w = m.keep;
      }
    }
  }
}

}  // namespace zelfin
