#include "mesh_gen.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace zelfin::gen {

uint64_t Rng::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Rng::Uniform() {
  return static_cast<double>(Next() >> 11) * 0x1.0p-53;
}

double Rng::Range(double lo, double hi) {
  return lo + (hi - lo) * Uniform();
}

uint32_t Rng::Below(uint32_t n) {
  return static_cast<uint32_t>(Next() % n);
}

size_t GenMesh::TriangleCount() const {
  size_t n = 0;
  for (uint8_t s : face_size) n += s >= 3 ? s - 2 : 0;
  return n;
}

uint32_t GenMesh::AddVertex(double x, double y, double z) {
  xyz.insert(xyz.end(), {x, y, z});
  return static_cast<uint32_t>(VertexCount() - 1);
}

void GenMesh::AddFace(std::initializer_list<uint32_t> c) {
  face_size.push_back(static_cast<uint8_t>(c.size()));
  corners.insert(corners.end(), c);
}

void GenMesh::AddFace(const std::vector<uint32_t>& c) {
  face_size.push_back(static_cast<uint8_t>(c.size()));
  corners.insert(corners.end(), c.begin(), c.end());
}

namespace {

constexpr double kPi = 3.14159265358979323846;

// Two triangles of a quad a-b-c-d (counter-clockwise), on a random diagonal.
void AddQuad(GenMesh& m, Rng& rng, uint32_t a, uint32_t b, uint32_t c, uint32_t d, bool whole) {
  if (whole) {
    m.AddFace({a, b, c, d});
  } else if (rng.Chance(0.5)) {
    m.AddFace({a, b, c});
    m.AddFace({a, c, d});
  } else {
    m.AddFace({a, b, d});
    m.AddFace({b, c, d});
  }
}

// The cells of an (nx+1) x (ny+1) vertex grid laid out row by row.
void AddGridFaces(GenMesh& m, Rng& rng, int nx, int ny, bool quads) {
  auto at = [&](int i, int j) { return static_cast<uint32_t>(j * (nx + 1) + i); };
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      AddQuad(m, rng, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1), quads);
    }
  }
}

}  // namespace

GenMesh FlatGrid(uint64_t seed, int nx, int ny) {
  Rng rng(seed);
  GenMesh m;
  for (int j = 0; j <= ny; ++j) {
    for (int i = 0; i <= nx; ++i) m.AddVertex(i, j, 0);
  }
  AddGridFaces(m, rng, nx, ny, false);
  return m;
}

GenMesh HeightField(uint64_t seed, int nx, int ny, double noise, bool quads) {
  Rng rng(seed);
  GenMesh m;
  const double fx = rng.Range(1, 3), fy = rng.Range(1, 3);
  for (int j = 0; j <= ny; ++j) {
    for (int i = 0; i <= nx; ++i) {
      const double x = static_cast<double>(i) / nx, y = static_cast<double>(j) / ny;
      const double z =
          0.2 * std::sin(fx * x * kPi) * std::cos(fy * y * kPi) + noise * rng.Range(-1, 1);
      m.AddVertex(x + noise * rng.Range(-0.3, 0.3) / nx, y, z);
    }
  }
  AddGridFaces(m, rng, nx, ny, quads);
  return m;
}

GenMesh UvSphere(uint64_t seed, int rings, int segments, double noise, bool polygons) {
  Rng rng(seed);
  GenMesh m;
  auto point = [&](double theta, double phi) {
    const double r = 1 + noise * rng.Range(-1, 1);
    return m.AddVertex(r * std::sin(theta) * std::cos(phi), r * std::sin(theta) * std::sin(phi),
                       r * std::cos(theta));
  };
  uint32_t top = 0, bottom = 0;
  if (!polygons) top = point(0, 0);
  std::vector<std::vector<uint32_t>> ring(rings - 1);
  for (int k = 1; k < rings; ++k) {
    for (int s = 0; s < segments; ++s) {
      ring[k - 1].push_back(point(kPi * k / rings, 2 * kPi * s / segments));
    }
  }
  if (!polygons) bottom = point(kPi, 0);
  const std::vector<uint32_t>& first = ring.front();
  const std::vector<uint32_t>& last = ring.back();
  if (polygons) {
    m.AddFace(first);  // seen from outside, around the top pole
    m.AddFace(std::vector<uint32_t>(last.rbegin(), last.rend()));
  } else {
    for (int s = 0; s < segments; ++s) {
      m.AddFace({top, first[s], first[(s + 1) % segments]});
      m.AddFace({bottom, last[(s + 1) % segments], last[s]});
    }
  }
  for (int k = 0; k + 1 < rings - 1; ++k) {
    for (int s = 0; s < segments; ++s) {
      const int t = (s + 1) % segments;
      AddQuad(m, rng, ring[k][s], ring[k + 1][s], ring[k + 1][t], ring[k][t], polygons);
    }
  }
  return m;
}

GenMesh Torus(uint64_t seed, int nu, int nv, double noise, bool quads) {
  Rng rng(seed);
  GenMesh m;
  const double R = 1, r = rng.Range(0.25, 0.45);
  for (int i = 0; i < nu; ++i) {
    for (int j = 0; j < nv; ++j) {
      const double u = 2 * kPi * i / nu, v = 2 * kPi * j / nv;
      const double rr = r * (1 + noise * rng.Range(-1, 1));
      m.AddVertex((R + rr * std::cos(v)) * std::cos(u), (R + rr * std::cos(v)) * std::sin(u),
                  rr * std::sin(v));
    }
  }
  auto at = [&](int i, int j) { return static_cast<uint32_t>((i % nu) * nv + (j % nv)); };
  for (int i = 0; i < nu; ++i) {
    for (int j = 0; j < nv; ++j) {
      AddQuad(m, rng, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1), quads);
    }
  }
  return m;
}

GenMesh TriangleStrip(uint64_t seed, int n) {
  Rng rng(seed);
  GenMesh m;
  for (int i = 0; i < n + 2; ++i) {
    m.AddVertex(0.5 * i + rng.Range(-0.1, 0.1), i % 2, rng.Range(-0.2, 0.2));
  }
  for (int k = 0; k < n; ++k) {
    const uint32_t a = k, b = k + 1, c = k + 2;
    if (k % 2 == 0) {
      m.AddFace({a, b, c});
    } else {
      m.AddFace({b, a, c});
    }
  }
  return m;
}

void AddFins(GenMesh& mesh, uint64_t seed, int count) {
  Rng rng(seed);
  std::vector<size_t> start;
  size_t at = 0;
  for (uint8_t s : mesh.face_size) {
    start.push_back(at);
    at += s;
  }
  const size_t faces = start.size();
  for (int k = 0; k < count && faces > 0; ++k) {
    const size_t f = rng.Below(static_cast<uint32_t>(faces));
    const uint8_t s = mesh.face_size[f];
    const uint32_t e = rng.Below(s);
    const uint32_t a = mesh.corners[start[f] + e], b = mesh.corners[start[f] + (e + 1) % s];
    const double* pa = &mesh.xyz[3 * a];
    const double* pb = &mesh.xyz[3 * b];
    const uint32_t c = mesh.AddVertex((pa[0] + pb[0]) / 2 + rng.Range(-0.3, 0.3),
                                      (pa[1] + pb[1]) / 2 + rng.Range(-0.3, 0.3),
                                      (pa[2] + pb[2]) / 2 + rng.Range(-0.3, 0.3));
    mesh.AddFace({a, b, c});
  }
}

void Transform(GenMesh& mesh, double scale, double dx, double dy, double dz) {
  for (size_t i = 0; i < mesh.xyz.size(); i += 3) {
    mesh.xyz[i] = mesh.xyz[i] * scale + dx;
    mesh.xyz[i + 1] = mesh.xyz[i + 1] * scale + dy;
    mesh.xyz[i + 2] = mesh.xyz[i + 2] * scale + dz;
  }
}

// ------------------------------------------------------------------ writer

namespace {

class ObjPrinter {
 public:
  ObjPrinter(const ObjStyle& style, uint64_t seed) : style_(style), rng_(seed) {}

  void Number(double x) {
    char buf[64];
    char* end = std::to_chars(buf, buf + sizeof buf, x).ptr;
    if (style_.decimal_commas) std::replace(buf, end, '.', ',');
    out_.append(buf, end);
  }
  void Gap() {
    static const char* const kGaps[] = {" ", "\t", "  ", " \t "};
    out_ += style_.messy_blanks ? kGaps[rng_.Below(4)] : " ";
  }
  void Begin(const char* keyword) {
    static const char* const kLead[] = {"", "", " ", "\t", " \t"};
    if (style_.messy_blanks) out_ += kLead[rng_.Below(5)];
    out_ += keyword;
  }
  void End() {
    static const char* const kTrail[] = {"", "", " ", "\t", " \t"};
    static const char* const kEnds[] = {"\n", "\r\n", "\r"};
    if (style_.messy_blanks) {
      out_ += kTrail[rng_.Below(5)];
      out_ += kEnds[rng_.Below(3)];
    } else {
      out_ += '\n';
    }
  }
  void Vertex(double x, double y, double z) {
    Begin("v");
    for (double c : {x, y, z}) {
      Gap();
      Number(c);
    }
    if (style_.extra_coordinates && rng_.Chance(0.2)) {
      Gap();
      Number(1.0);
    }
    End();
    ++written_;
  }
  // idx: 0-based index of a written vertex line.
  void Reference(uint32_t idx) {
    const int64_t value = rng_.Chance(style_.relative_share) ? static_cast<int64_t>(idx) - written_
                                                             : static_cast<int64_t>(idx) + 1;
    out_ += std::to_string(value);
    const int form = style_.corner_form == 4 ? static_cast<int>(rng_.Below(4)) : style_.corner_form;
    const std::string vt = std::to_string(1 + rng_.Below(9));
    const std::string vn = std::to_string(1 + rng_.Below(9));
    if (form == 1) out_ += "/" + vt;
    if (form == 2) out_ += "//" + vn;
    if (form == 3) out_ += "/" + vt + "/" + vn;
  }
  void Face(const std::vector<uint32_t>& refs) {
    Begin("f");
    for (uint32_t r : refs) {
      Gap();
      Reference(r);
    }
    End();
  }
  void Stray() {
    static const char* const kStray[] = {
        "vt 0.5 0.25", "vn 0 0 1", "g part",  "usemtl metal", "# v 1 2 3", "s off",
        "o thing",     "V 1 2 3",  "F 1 2 3", "mtllib a.mtl", "",          "vp 0.5",
        "f",           "v",        "f 1 2",   "fo 1 2 3",     "vx 1 2 3"};
    const uint32_t k = rng_.Below(sizeof kStray / sizeof kStray[0]);
    if (std::string(kStray[k]) == "f 1 2" && written_ < 2) return;
    Begin("");
    out_ += kStray[k];
    End();
  }

  Rng& rng() { return rng_; }
  int64_t written() const { return written_; }
  std::string& out() { return out_; }

 private:
  const ObjStyle& style_;
  Rng rng_;
  std::string out_;
  int64_t written_ = 0;
};

// Largest half-extent of the points: the loader's unit for its weld tolerance.
double HalfExtent(const GenMesh& m) {
  double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  for (size_t i = 0; i < m.xyz.size(); ++i) {
    lo[i % 3] = std::min(lo[i % 3], m.xyz[i]);
    hi[i % 3] = std::max(hi[i % 3], m.xyz[i]);
  }
  double s = 0;
  for (int a = 0; a < 3; ++a) s = std::max(s, (hi[a] - lo[a]) / 2);
  return s;
}

}  // namespace

std::string WriteObj(const GenMesh& mesh, const ObjStyle& style, uint64_t seed) {
  ObjPrinter p(style, seed);
  Rng& rng = p.rng();
  const double unit = HalfExtent(mesh) * 1e-8;
  // A copy lies on the point, or a step of 0.5, 0.75 or 1.5 tolerances away
  // on one axis; a second copy a further step on, so that weld chains occur.
  auto jitter = [&](int copy, double& x, double& y, double& z) {
    if (!style.jitter_duplicates || copy == 0) return;
    static const double kSteps[] = {0, 0.5, 0.75, 1.5, -0.75};
    const double d = kSteps[rng.Below(5)] * unit * copy;
    double* axis[3] = {&x, &y, &z};
    *axis[rng.Below(3)] += d;
  };
  auto maybe_stray = [&] {
    if (style.stray_lines && rng.Chance(0.08)) p.Stray();
  };
  const size_t nv = mesh.VertexCount();
  // written[v]: the vertex lines that hold point v.
  std::vector<std::vector<uint32_t>> written(nv);
  auto write_point = [&](uint32_t v, int copy) {
    double x = mesh.xyz[3 * v], y = mesh.xyz[3 * v + 1], z = mesh.xyz[3 * v + 2];
    jitter(copy, x, y, z);
    written[v].push_back(static_cast<uint32_t>(p.written()));
    p.Vertex(x, y, z);
    maybe_stray();
  };
  auto pick = [&](uint32_t v) { return written[v][rng.Below(written[v].size())]; };

  if (!style.per_corner_vertices) {
    for (uint32_t v = 0; v < nv; ++v) {
      write_point(v, 0);
      int copies = rng.Chance(style.duplicate_share) ? 1 + rng.Below(2) : 0;
      for (int c = 1; c <= copies; ++c) write_point(v, c);
    }
  }
  size_t at = 0;
  std::vector<uint32_t> refs;
  for (size_t f = 0; f < mesh.FaceCount(); ++f) {
    const uint8_t s = mesh.face_size[f];
    refs.clear();
    for (uint8_t k = 0; k < s; ++k) {
      const uint32_t v = mesh.corners[at + k];
      if (style.per_corner_vertices) {
        write_point(v, written[v].empty() ? 0 : 1);
        refs.push_back(written[v].back());
      } else {
        refs.push_back(pick(v));
      }
    }
    at += s;
    p.Face(refs);
    maybe_stray();
    if (rng.Chance(style.repeat_share)) p.Face(refs);
    if (rng.Chance(style.collapsed_share)) {
      const uint32_t a = refs[0], b = refs[1];
      p.Face(rng.Chance(0.5) ? std::vector<uint32_t>{a, a, b} : std::vector<uint32_t>{a, b, a});
    }
  }
  return std::move(p.out());
}

std::string PlainObj(const GenMesh& mesh) {
  std::string out;
  out.reserve(mesh.VertexCount() * 64 + mesh.FaceCount() * 32);
  char buf[64];
  for (size_t i = 0; i < mesh.xyz.size(); i += 3) {
    out += 'v';
    for (int a = 0; a < 3; ++a) {
      out += ' ';
      out.append(buf, std::to_chars(buf, buf + sizeof buf, mesh.xyz[i + a]).ptr);
    }
    out += '\n';
  }
  size_t at = 0;
  for (uint8_t s : mesh.face_size) {
    out += 'f';
    for (uint8_t k = 0; k < s; ++k) {
      out += ' ';
      out.append(buf, std::to_chars(buf, buf + sizeof buf, mesh.corners[at + k] + 1).ptr);
    }
    at += s;
    out += '\n';
  }
  return out;
}

GenMesh LargeClosedMesh(uint64_t seed, int64_t triangles) {
  const int nv = std::max(3, static_cast<int>(std::lround(std::sqrt(triangles / 4.0))));
  const int nu = std::max(3, static_cast<int>(std::lround(triangles / 2.0 / nv)));
  GenMesh m;
  m.xyz.reserve(3 * static_cast<size_t>(nu) * nv);
  m.face_size.reserve(2 * static_cast<size_t>(nu) * nv);
  m.corners.reserve(6 * static_cast<size_t>(nu) * nv);
  Rng rng(seed);
  for (int i = 0; i < nu; ++i) {
    for (int j = 0; j < nv; ++j) {
      const double u = 2 * kPi * i / nu, v = 2 * kPi * j / nv;
      // Bumps of several sizes, so costs spread out as on a scanned surface.
      const double rr =
          0.35 * (1 + 0.08 * std::sin(7 * u) * std::cos(5 * v) + 0.004 * rng.Range(-1, 1));
      m.AddVertex((1 + rr * std::cos(v)) * std::cos(u), (1 + rr * std::cos(v)) * std::sin(u),
                  rr * std::sin(v));
    }
  }
  auto at = [&](int i, int j) { return static_cast<uint32_t>((i % nu) * nv + (j % nv)); };
  for (int i = 0; i < nu; ++i) {
    for (int j = 0; j < nv; ++j) {
      const uint32_t a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
      m.AddFace({a, b, c});
      m.AddFace({a, c, d});
    }
  }
  return m;
}

namespace {

// Radius of a bumpy sphere over a unit direction: waves of three sizes along
// random directions, so that bumps overlap irregularly rather than on a grid.
class BumpyRadius {
 public:
  explicit BumpyRadius(Rng& rng) {
    static const double kFreq[3] = {3, 9, 27}, kAmp[3] = {0.04, 0.012, 0.003};
    for (int k = 0; k < kWaves; ++k) {
      const int size = k / (kWaves / 3);
      const double z = rng.Range(-1, 1), phi = rng.Range(0, 2 * kPi), r = std::sqrt(1 - z * z);
      wave_[k] = {{r * std::cos(phi), r * std::sin(phi), z},
                  kFreq[size],
                  kAmp[size],
                  rng.Range(0, 2 * kPi)};
    }
  }
  double operator()(const double d[3]) const {
    double r = 1;
    for (const Wave& w : wave_) {
      r += w.amp *
           std::sin(w.freq * (w.dir[0] * d[0] + w.dir[1] * d[1] + w.dir[2] * d[2]) + w.phase);
    }
    return r;
  }

 private:
  struct Wave {
    double dir[3], freq, amp, phase;
  };
  static constexpr int kWaves = 18;
  Wave wave_[kWaves];
};

// Lattice points of the surface of the cube [0, n]^3, as sorted unique keys:
// a point's vertex number is its key's rank, so the faces' shared edges get
// one vertex each.
struct CubeLattice {
  int n;
  uint64_t side;
  std::vector<uint64_t> keys;

  explicit CubeLattice(int n_) : n(n_), side(static_cast<uint64_t>(n_) + 1) {
    keys.reserve(6 * side * side);
    for (int axis = 0; axis < 3; ++axis) {
      for (int far = 0; far < 2; ++far) {
        for (int j = 0; j <= n; ++j) {
          for (int i = 0; i <= n; ++i) keys.push_back(Key(axis, far, i, j));
        }
      }
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  }
  // Point (i, j) of the grid on face `axis` at 0 or n.
  uint64_t Key(int axis, int far, int i, int j) const {
    uint64_t l[3];
    l[axis] = far ? static_cast<uint64_t>(n) : 0;
    l[(axis + 1) % 3] = static_cast<uint64_t>(i);
    l[(axis + 2) % 3] = static_cast<uint64_t>(j);
    return (l[0] * side + l[1]) * side + l[2];
  }
  uint32_t Vertex(int axis, int far, int i, int j) const {
    return static_cast<uint32_t>(std::lower_bound(keys.begin(), keys.end(), Key(axis, far, i, j)) -
                                 keys.begin());
  }
  // The key's direction from the centre; the equal-angle map (tan) keeps the
  // triangles' areas within a small factor of each other.
  void Direction(uint64_t key, double d[3]) const {
    const uint64_t l[3] = {key / (side * side), key / side % side, key % side};
    double len = 0;
    for (int a = 0; a < 3; ++a) {
      d[a] = std::tan((2.0 * static_cast<double>(l[a]) / n - 1) * kPi / 4);
      len += d[a] * d[a];
    }
    for (int a = 0; a < 3; ++a) d[a] /= std::sqrt(len);
  }
};

}  // namespace

GenMesh BumpySphere(uint64_t seed, int64_t triangles) {
  const int n = std::max(1, static_cast<int>(std::lround(std::sqrt(triangles / 12.0))));
  const CubeLattice lattice(n);
  Rng rng(seed);
  const BumpyRadius radius(rng);
  GenMesh m;
  m.xyz.reserve(3 * lattice.keys.size());
  for (uint64_t key : lattice.keys) {
    double d[3];
    lattice.Direction(key, d);
    const double r = radius(d) + 0.0003 * rng.Range(-1, 1);
    m.AddVertex(r * d[0], r * d[1], r * d[2]);
  }
  m.face_size.reserve(12 * static_cast<size_t>(n) * n);
  m.corners.reserve(36 * static_cast<size_t>(n) * n);
  for (int axis = 0; axis < 3; ++axis) {
    for (int far = 0; far < 2; ++far) {
      for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
          const uint32_t a = lattice.Vertex(axis, far, i, j),
                         b = lattice.Vertex(axis, far, i + 1, j),
                         c = lattice.Vertex(axis, far, i + 1, j + 1),
                         d = lattice.Vertex(axis, far, i, j + 1);
          // Counter-clockwise seen from outside: the near faces turn the other way.
          if (far) {
            m.AddFace({a, b, c});
            m.AddFace({a, c, d});
          } else {
            m.AddFace({a, c, b});
            m.AddFace({a, d, c});
          }
        }
      }
    }
  }
  return m;
}

// ------------------------------------------------------------- catalogue

std::vector<GenCase> DifferentialCases(int count) {
  std::vector<GenCase> cases;
  constexpr int kKinds = 16;
  for (int k = 0; k < count; ++k) {
    const uint64_t seed = 1000 + static_cast<uint64_t>(k);
    Rng rng(seed * 7919);
    auto in = [&](int lo, int hi) { return lo + static_cast<int>(rng.Below(hi - lo + 1)); };
    GenMesh m;
    ObjStyle st;
    std::string name;
    switch (k % kKinds) {
      case 0:
        name = "flat grid";
        m = FlatGrid(seed, in(4, 14), in(4, 12));
        break;
      case 1:
        name = "flat grid, tabs, commas, mixed corners";
        m = FlatGrid(seed, in(4, 10), in(4, 10));
        st.messy_blanks = st.decimal_commas = true;
        st.corner_form = 4;
        break;
      case 2:
        name = "noisy sphere";
        m = UvSphere(seed, in(5, 12), in(6, 16), 0.05, false);
        break;
      case 3:
        name = "sphere of quads and pentagons, negative indices";
        m = UvSphere(seed, in(6, 14), 5, 0.03, true);
        st.relative_share = 0.5;
        break;
      case 4:
        name = "noisy torus, corner forms";
        m = Torus(seed, in(6, 20), in(4, 12), 0.05, false);
        st.corner_form = 4;
        break;
      case 5:
        name = "torus of quads, welded copies";
        m = Torus(seed, in(6, 16), in(4, 10), 0.03, true);
        st.duplicate_share = 0.4;
        st.jitter_duplicates = true;
        break;
      case 6:
        name = "open height field, stray lines";
        m = HeightField(seed, in(5, 14), in(4, 12), 0.02, false);
        st.stray_lines = true;
        st.extra_coordinates = true;
        break;
      case 7:
        name = "height field of quads, a vertex per corner";
        m = HeightField(seed, in(5, 12), in(4, 10), 0.02, true);
        st.per_corner_vertices = true;
        st.relative_share = 0.3;
        break;
      case 8:
        name = "sphere with fins, repeated and collapsed faces";
        m = UvSphere(seed, in(5, 10), in(6, 12), 0.04, false);
        AddFins(m, seed, in(1, 6));
        st.repeat_share = 0.05;
        st.collapsed_share = 0.05;
        break;
      case 9:
        name = "triangle strip, messy blanks";
        m = TriangleStrip(seed, in(50, 250));
        st.messy_blanks = true;
        break;
      case 10:
        name = "torus far from the origin";
        m = Torus(seed, in(8, 20), in(5, 12), 0.02, false);
        Transform(m, 1000, 5000, -300, 7);
        break;
      case 11:
        name = "tiny height field";
        m = HeightField(seed, in(5, 14), in(5, 12), 0.03, false);
        Transform(m, 1e-3, 0.25, -3, 1);
        break;
      case 12:
        name = "flat grid, welded jittered copies";
        m = FlatGrid(seed, in(4, 12), in(4, 12));
        st.duplicate_share = 0.5;
        st.jitter_duplicates = true;
        break;
      case 13:
        name = "exact sphere";
        m = UvSphere(seed, in(5, 12), in(6, 16), 0, false);
        break;
      case 14:
        name = "torus, a jittered vertex per corner";
        m = Torus(seed, in(6, 14), in(4, 10), 0.01, false);
        st.per_corner_vertices = true;
        st.jitter_duplicates = true;
        st.relative_share = 0.5;
        break;
      default:
        name = "everything at once";
        m = UvSphere(seed, in(5, 10), in(5, 10), 0.05, rng.Chance(0.5));
        AddFins(m, seed + 1, in(0, 4));
        st.corner_form = 4;
        st.relative_share = 0.3;
        st.messy_blanks = st.decimal_commas = st.stray_lines = st.extra_coordinates = true;
        st.duplicate_share = 0.2;
        st.jitter_duplicates = true;
        st.repeat_share = 0.03;
        st.collapsed_share = 0.03;
        break;
    }
    cases.push_back({name + " #" + std::to_string(k), WriteObj(m, st, seed)});
  }
  return cases;
}

// -------------------------------------------------------------- textured

namespace {

void Cross(const double a[3], const double b[3], double out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

void Normalize(double a[3]) {
  const double len = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
  for (int i = 0; i < 3; ++i) a[i] /= len;
}

// The outward unit normal of the surface radius(d) d at the unit direction d,
// from central differences along two tangents (within about 1e-8 of the exact
// one), so that the waves' formula lives in BumpyRadius alone.
void BumpyNormal(const BumpyRadius& radius, const double d[3], double n[3]) {
  constexpr double kStep = 1e-5;
  const int axis = std::abs(d[0]) <= std::abs(d[1]) && std::abs(d[0]) <= std::abs(d[2]) ? 0
                   : std::abs(d[1]) <= std::abs(d[2])                                   ? 1
                                                                                        : 2;
  double e[3] = {0, 0, 0}, t[2][3], diff[2][3];
  e[axis] = 1;
  Cross(e, d, t[0]);
  Normalize(t[0]);
  Cross(d, t[0], t[1]);  // t[0] x t[1] = d: outward
  for (int k = 0; k < 2; ++k) {
    double p[2][3];
    for (int side = 0; side < 2; ++side) {
      const double h = side == 0 ? kStep : -kStep;
      for (int a = 0; a < 3; ++a) p[side][a] = d[a] + h * t[k][a];
      Normalize(p[side]);
      const double r = radius(p[side]);
      for (double& x : p[side]) x *= r;
    }
    for (int a = 0; a < 3; ++a) diff[k][a] = p[0][a] - p[1][a];
  }
  Cross(diff[0], diff[1], n);
  Normalize(n);
}

// Lambert's azimuthal equal-area map of a hemisphere from its pole, scaled to
// a disk of radius 0.24 about its island's centre. Seen from below, the south
// pole's x axis points left: its island is mirrored in u to look unmirrored.
void HemisphereUv(const double d[3], bool south, double uv[2]) {
  const double s = 0.24 / std::sqrt(1 + (south ? -d[2] : d[2]));
  uv[0] = south ? 0.75 - s * d[0] : 0.25 + s * d[0];
  uv[1] = 0.5 + s * d[1];
}

// Per lattice point a position, its normal and the texture coordinate of its
// own hemisphere (the north one on the equator); the equator's south texture
// coordinates follow all those. Returns each point's south texture coordinate
// number, UINT32_MAX off the equator.
std::vector<uint32_t> AddTexturedPoints(const CubeLattice& lattice, const BumpyRadius& radius,
                                        TexturedMesh& m) {
  const size_t count = lattice.keys.size();
  std::vector<uint32_t> south(count, UINT32_MAX);
  std::vector<double> seam_uv;
  m.xyz.reserve(3 * count);
  m.normal.reserve(3 * count);
  m.uv.reserve(2 * count + 8 * static_cast<size_t>(lattice.n));
  for (size_t i = 0; i < count; ++i) {
    double d[3], n[3], uv[2];
    lattice.Direction(lattice.keys[i], d);
    const double r = radius(d);
    m.xyz.insert(m.xyz.end(), {r * d[0], r * d[1], r * d[2]});
    BumpyNormal(radius, d, n);
    m.normal.insert(m.normal.end(), n, n + 3);
    HemisphereUv(d, d[2] < 0, uv);  // z is exactly 0 on the equator (tan 0)
    m.uv.insert(m.uv.end(), uv, uv + 2);
    if (lattice.keys[i] % lattice.side == static_cast<uint64_t>(lattice.n / 2)) {
      south[i] = static_cast<uint32_t>(count + seam_uv.size() / 2);
      HemisphereUv(d, true, uv);
      seam_uv.insert(seam_uv.end(), uv, uv + 2);
    }
  }
  m.uv.insert(m.uv.end(), seam_uv.begin(), seam_uv.end());
  return south;
}

// Whether a triangle lies on the low side of the middle grid line across
// axis 0 (x) or 2 (z): no corner is beyond it, so the corners' mean is below.
bool BelowMiddle(const CubeLattice& lattice, const uint32_t (&c)[3], int axis) {
  uint64_t sum = 0;
  for (uint32_t v : c) {
    const uint64_t key = lattice.keys[v];
    sum += axis == 0 ? key / (lattice.side * lattice.side) : key % lattice.side;
  }
  return 2 * sum < 3 * static_cast<uint64_t>(lattice.n);
}

// The cube's grid cells as BumpySphere cuts them, sorted by material; a south
// triangle's equator corners take their south texture coordinates.
void AddTexturedFaces(const CubeLattice& lattice, const std::vector<uint32_t>& south,
                      TexturedMesh& m) {
  std::vector<uint32_t> part[2];  // corners of "clay" (x <= 0) and "slate" triangles
  auto add = [&](uint32_t a, uint32_t b, uint32_t c) {
    const uint32_t corners[3] = {a, b, c};
    std::vector<uint32_t>& to = part[BelowMiddle(lattice, corners, 0) ? 0 : 1];
    to.insert(to.end(), {a, b, c});
  };
  const int n = lattice.n;
  for (int axis = 0; axis < 3; ++axis) {
    for (int far = 0; far < 2; ++far) {
      for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
          const uint32_t a = lattice.Vertex(axis, far, i, j),
                         b = lattice.Vertex(axis, far, i + 1, j),
                         c = lattice.Vertex(axis, far, i + 1, j + 1),
                         d = lattice.Vertex(axis, far, i, j + 1);
          if (far) {
            add(a, b, c);
            add(a, c, d);
          } else {
            add(a, c, b);
            add(a, d, c);
          }
        }
      }
    }
  }
  for (uint32_t mat = 0; mat < 2; ++mat) {
    for (size_t at = 0; at < part[mat].size(); at += 3) {
      const uint32_t corners[3] = {part[mat][at], part[mat][at + 1], part[mat][at + 2]};
      const bool south_side = BelowMiddle(lattice, corners, 2);
      for (uint32_t v : corners) {
        m.v.push_back(v);
        m.vn.push_back(v);
        m.vt.push_back(south_side && south[v] != UINT32_MAX ? south[v] : v);
      }
      m.material.push_back(mat);
    }
  }
}

// Numbers the values in the order the corners first use them, as exporters
// write them, so that a reader that took a vt or vn number for a v number
// would go wrong.
void NumberByFirstUse(std::vector<uint32_t>& index, std::vector<double>& values, size_t width) {
  std::vector<uint32_t> number(values.size() / width, UINT32_MAX);
  std::vector<double> ordered;
  ordered.reserve(values.size());
  for (uint32_t& i : index) {
    if (number[i] == UINT32_MAX) {
      number[i] = static_cast<uint32_t>(ordered.size() / width);
      const auto first = values.begin() + static_cast<std::ptrdiff_t>(width * i);
      ordered.insert(ordered.end(), first, first + static_cast<std::ptrdiff_t>(width));
    }
    i = number[i];
  }
  values.swap(ordered);
}

void AppendRows(std::string& out, const char* keyword, const std::vector<double>& values,
                size_t width) {
  char buf[64];
  for (size_t i = 0; i < values.size(); i += width) {
    out += keyword;
    for (size_t a = 0; a < width; ++a) {
      out += ' ';
      out.append(buf, std::to_chars(buf, buf + sizeof buf, values[i + a]).ptr);
    }
    out += '\n';
  }
}

void AppendIndex(std::string& out, uint32_t index) {
  char buf[16];
  out.append(buf, std::to_chars(buf, buf + sizeof buf, index + 1).ptr);
}

}  // namespace

TexturedMesh TexturedSphere(uint64_t seed, int64_t triangles) {
  const int n = 2 * std::max(1, static_cast<int>(std::lround(std::sqrt(triangles / 12.0) / 2)));
  const CubeLattice lattice(n);
  Rng rng(seed);
  const BumpyRadius radius(rng);
  TexturedMesh m;
  m.materials = {"clay", "slate"};
  const std::vector<uint32_t> south = AddTexturedPoints(lattice, radius, m);
  AddTexturedFaces(lattice, south, m);
  NumberByFirstUse(m.vt, m.uv, 2);
  NumberByFirstUse(m.vn, m.normal, 3);
  return m;
}

std::string TexturedObj(const TexturedMesh& mesh, const std::string& mtllib) {
  std::string out;
  out.reserve(40 * (mesh.xyz.size() + mesh.uv.size() + mesh.normal.size()) + 30 * mesh.v.size());
  if (!mtllib.empty()) out += "mtllib " + mtllib + "\n";
  AppendRows(out, "v", mesh.xyz, 3);
  AppendRows(out, "vt", mesh.uv, 2);
  AppendRows(out, "vn", mesh.normal, 3);
  out += "g sphere\n";
  uint32_t current = UINT32_MAX;
  for (size_t t = 0; t < mesh.TriangleCount(); ++t) {
    if (!mesh.material.empty() && mesh.material[t] != current) {
      current = mesh.material[t];
      out += "usemtl " + mesh.materials[current] + "\n";
    }
    out += 'f';
    for (size_t k = 3 * t; k < 3 * t + 3; ++k) {
      out += ' ';
      AppendIndex(out, mesh.v[k]);
      if (!mesh.vt.empty() || !mesh.vn.empty()) out += '/';
      if (!mesh.vt.empty()) AppendIndex(out, mesh.vt[k]);
      if (!mesh.vn.empty()) {
        out += '/';
        AppendIndex(out, mesh.vn[k]);
      }
    }
    out += '\n';
  }
  return out;
}

std::string TexturedMtl(const TexturedMesh& mesh) {
  static const char* const kColours[] = {"0.72 0.45 0.3", "0.3 0.34 0.4", "0.5 0.6 0.3"};
  std::string out;
  for (size_t i = 0; i < mesh.materials.size(); ++i) {
    const std::string& name = mesh.materials[i];
    out += "newmtl " + name + "\nKd " + kColours[i % 3] + "\nmap_Kd " + name + ".png\n\n";
  }
  return out;
}

}  // namespace zelfin::gen
