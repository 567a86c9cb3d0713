#include "reference.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_geometry.h"
#include "simplify/diet_writer.h"
#include "support/files.h"

namespace zelfin::ref {
namespace {

int64_t Round(double x) {
  return static_cast<int64_t>(std::nearbyint(x));
}

}  // namespace

// ---------------------------------------------------------------- geometry

int32_t RefFindSamePoint(const TArV& DietVerts, const TDietVec& P, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) {
    if (SamePoint(DietVerts[i].Pos, P)) return i;
  }
  return Count;
}

// ------------------------------------------------------------------ loader

namespace {

std::string ReadWhole(const std::string& path) {
  std::string text;
  if (!test::ReadBytes(path, text)) throw ZelfinError("reference: cannot open " + path);
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  bool pending = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(cur);
      cur.clear();
      pending = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      cur += c;
      pending = true;
    }
  }
  if (pending) lines.push_back(cur);
  return lines;
}

bool Blank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string Clean(std::string s) {
  for (char& c : s) {
    if (c == '\t') c = ' ';
  }
  for (char& c : s) {
    if (c == ',') c = '.';
  }
  size_t b = 0;
  while (b < s.size() && Blank(s[b])) ++b;
  size_t e = s.size();
  while (e > b && Blank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::vector<std::string> Tokens(const std::string& s) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < s.size()) {
    if (Blank(s[i])) {
      ++i;
      continue;
    }
    std::string tok;
    if (s[i] == '"') {
      ++i;
      while (i < s.size()) {
        if (s[i] == '"') {
          if (i + 1 < s.size() && s[i + 1] == '"') {
            tok += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        tok += s[i++];
      }
    } else {
      while (i < s.size() && !Blank(s[i])) tok += s[i++];
    }
    out.push_back(tok);
  }
  return out;
}

bool Digit(char c) {
  return c >= '0' && c <= '9';
}

// sign? (digits ('.' digits?)? | '.' digits) ([eE] sign? digits)?; anything else is 0.
double Coordinate(const std::string& t) {
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  const size_t body = i;
  size_t int_digits = 0, frac_digits = 0;
  while (i < t.size() && Digit(t[i])) ++i, ++int_digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && Digit(t[i])) ++i, ++frac_digits;
  }
  if (int_digits + frac_digits == 0) return 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t exp_digits = 0;
    while (i < t.size() && Digit(t[i])) ++i, ++exp_digits;
    if (exp_digits == 0) return 0;
  }
  if (i != t.size()) return 0;
  double v = 0;
  const auto r = std::from_chars(t.data() + body, t.data() + t.size(), v);
  if (r.ec != std::errc() || !std::isfinite(v)) throw ZelfinError("reference: number out of range");
  return t[0] == '-' ? -v : v;
}

int64_t Reference(const std::string& t) {
  const std::string part = t.substr(0, t.find('/'));
  size_t i = 0;
  if (i < part.size() && (part[i] == '+' || part[i] == '-')) ++i;
  if (i == part.size()) return 0;
  for (size_t k = i; k < part.size(); ++k) {
    if (!Digit(part[k])) return 0;
  }
  int64_t v = 0;
  const auto r = std::from_chars(part.data() + i, part.data() + part.size(), v);
  if (r.ec != std::errc()) throw ZelfinError("reference: index out of range");
  return part[0] == '-' ? -v : v;
}

bool StartsWith(const std::string& s, const char* p) {
  return s.rfind(p, 0) == 0;
}

}  // namespace

void RefLoadDietMesh(const std::string& path, DietMesh& mesh) {
  RefLoadDietMeshText(ReadWhole(path), mesh);
}

void RefLoadDietMeshText(const std::string& text, DietMesh& mesh) {
  // Pass 1: clean-up and counting.
  std::vector<std::string> lines = Lines(text);
  int64_t vertex_count = 0, estimate = 0;
  for (std::string& line : lines) {
    line = Clean(line);
    if (StartsWith(line, "v ")) {
      ++vertex_count;
    } else if (StartsWith(line, "f ")) {
      const int64_t n = static_cast<int64_t>(Tokens(line).size()) - 1;
      if (n >= 3) estimate += n - 2;
    }
  }
  // Pass 2: bounding box.
  double mn[3] = {0, 0, 0}, mx[3] = {0, 0, 0};
  bool first = true;
  for (const std::string& line : lines) {
    if (!StartsWith(line, "v ")) continue;
    const std::vector<std::string> t = Tokens(line);
    if (t.size() < 4) {
      throw ZelfinError("List index out of bounds (" + std::to_string(t.size()) + ")");
    }
    for (int a = 0; a < 3; ++a) {
      const double c = Coordinate(t[1 + a]);
      if (first) {
        mn[a] = c;
        mx[a] = c;
      } else {
        if (c < mn[a]) mn[a] = c;
        if (c > mx[a]) mx[a] = c;
      }
    }
    first = false;
  }
  // Normalisation.
  double h[3], m[3];
  for (int a = 0; a < 3; ++a) h[a] = (mx[a] - mn[a]) / 2;
  double s = h[0];
  if (h[1] > s) s = h[1];
  if (h[2] > s) s = h[2];
  for (int a = 0; a < 3; ++a) m[a] = mn[a] - (s - h[a]) / 2;
  if (vertex_count > 0 && !(s > 0)) throw ZelfinError("Invalid floating point operation");
  if (!std::isfinite(s)) throw ZelfinError("reference: overflow");
  // Allocation.
  mesh.DietVerts.assign(vertex_count, TDietVertex{});
  mesh.DietFaces.assign(estimate, TDietFace{});
  mesh.DietPairs.clear();
  // Pass 3: filling.
  int32_t nv = 0, nf = 0;
  for (const std::string& line : lines) {
    if (StartsWith(line, "v ")) {
      const std::vector<std::string> t = Tokens(line);
      TDietVec P;
      P.X = (Coordinate(t[1]) - m[0]) / s - 1;
      P.Y = (Coordinate(t[2]) - m[1]) / s - 1;
      P.Z = (Coordinate(t[3]) - m[2]) / s - 1;
      TDietVertex& v = mesh.DietVerts[nv];
      v.Used = false;
      v.SameAs = RefFindSamePoint(mesh.DietVerts, P, nv);
      v.Pos = P;
      ++nv;
    } else if (StartsWith(line, "f ")) {
      const std::vector<std::string> t = Tokens(line);
      const int64_t n = static_cast<int64_t>(t.size()) - 1;
      if (n < 3) continue;
      for (int64_t k = 2; k < n; ++k) {
        const std::string* refs[3] = {&t[1], &t[k], &t[k + 1]};
        int32_t idx[3];
        for (int c = 0; c < 3; ++c) {
          const int64_t a = Reference(*refs[c]);
          int64_t r = -1;
          if (a >= 1) r = a - 1;
          if (a < 0) r = nv + a;
          if (r < 0 || r >= nv) throw ZelfinError("reference: face names no vertex read before");
          idx[c] = mesh.DietVerts[r].SameAs;
        }
        if (idx[0] == idx[1] || idx[1] == idx[2] || idx[0] == idx[2]) continue;
        TDietFace& f = mesh.DietFaces[nf];
        for (int c = 0; c < 3; ++c) {
          f.Verts[c] = idx[c];
          mesh.DietVerts[idx[c]].Used = true;
        }
        f.Alive = true;
        const TDietVec& A = mesh.DietVerts[idx[0]].Pos;
        const TDietVec& B = mesh.DietVerts[idx[1]].Pos;
        const TDietVec& C = mesh.DietVerts[idx[2]].Pos;
        f.Normal = TriangleNormal(A, B, C);
        f.Area = TriangleArea(A, B, C);
        ++nf;
      }
    }
  }
  mesh.DietFaces.resize(nf);
}

// ---------------------------------------------------------- vertex analysis

void RefAnalyzeVertices(DietMesh& mesh, ProgressSink& progress) {
  const int64_t n = static_cast<int64_t>(mesh.DietVerts.size());
  int64_t step = Round(static_cast<double>(n) / 20);
  if (step < 1) step = n;
  int64_t mark = step;
  for (int64_t i = 0; i < n; ++i) {
    TDietVertex& v = mesh.DietVerts[i];
    v.Q = TDietMatrix{};
    if (v.Used) {
      for (const TDietFace& f : mesh.DietFaces) {
        if (!f.Alive || (f.Verts[0] != i && f.Verts[1] != i && f.Verts[2] != i)) continue;
        const TDietVec& N = f.Normal;
        const double p[4] = {N.X, N.Y, N.Z, -VecDot(N, mesh.DietVerts[f.Verts[0]].Pos)};
        for (int r = 0; r < 4; ++r) {
          for (int c = 0; c < 4; ++c) v.Q.m[r][c] = v.Q.m[r][c] + f.Area * p[r] * p[c];
        }
      }
    }
    if (i == mark) {
      progress.SetPosition(static_cast<int>(Round(static_cast<double>(i) / n * 25)));
      progress.ProcessMessages();
      mark += step;
    }
  }
}

void RefAnalyzeVertices(DietMesh& mesh) {
  SilentProgress silent;
  RefAnalyzeVertices(mesh, silent);
}

// ------------------------------------------------------------ pair analysis

// The whole inverse, of which production computes only the last row.
bool RefOptimalPosition(const TDietMatrix& Q, TDietVec& Pos) {
  TDietMatrix W = Q;
  W.m[0][3] = 0;
  W.m[1][3] = 0;
  W.m[2][3] = 0;
  W.m[3][3] = 1;
  TDietMatrix Inv;
  if (!MatInverse(W, Inv)) return false;
  Pos = {Inv.m[3][0], Inv.m[3][1], Inv.m[3][2]};
  return true;
}

void RefEvaluatePair(DietMesh& mesh, int32_t i, int32_t a, int32_t b) {
  TDietPair& pair = mesh.DietPairs[i];
  pair.VertLo = a;
  pair.VertHi = b;
  const TDietVertex& va = mesh.DietVerts[a];
  const TDietVertex& vb = mesh.DietVerts[b];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) pair.Q.m[r][c] = va.Q.m[r][c] + vb.Q.m[r][c];
  }
  if (!RefOptimalPosition(pair.Q, pair.Pos)) {
    pair.Pos = {(vb.Pos.X + va.Pos.X) / 2, (vb.Pos.Y + va.Pos.Y) / 2, (vb.Pos.Z + va.Pos.Z) / 2};
  }
  pair.Cost = QuadricError(pair.Q, pair.Pos);
  pair.Active = true;
}

bool RefFindPair(DietMesh& mesh, int32_t a, int32_t b, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    TDietPair& p = mesh.DietPairs[i];
    if (p.VertLo == a && p.VertHi == b) {
      p.Active = true;
      return false;
    }
  }
  return true;
}

void RefAnalyzePairs(DietMesh& mesh, ProgressSink& progress) {
  const int64_t F = static_cast<int64_t>(mesh.DietFaces.size());
  mesh.DietPairs.assign(3 * F, TDietPair{});
  int32_t N = 0;
  int64_t S = Round(static_cast<double>(F) / 20);
  if (S < 1) S = F;
  int64_t M = S;
  for (int64_t j = 0; j < F; ++j) {
    const TDietFace& f = mesh.DietFaces[j];
    const int corners[3][2] = {{0, 1}, {1, 2}, {2, 0}};
    for (const auto& e : corners) {
      int32_t a = f.Verts[e[0]];
      int32_t b = f.Verts[e[1]];
      if (a == b) continue;
      if (b < a) std::swap(a, b);
      if (!RefFindPair(mesh, a, b, N)) continue;
      RefEvaluatePair(mesh, N, a, b);
      mesh.DietPairs[N].Active = false;
      ++N;
    }
    if (j == M) {
      progress.SetPosition(static_cast<int>(Round(static_cast<double>(j) / F * 25 + 25)));
      progress.ProcessMessages();
      M += S;
    }
  }
  mesh.DietPairs.resize(N);
}

void RefAnalyzePairs(DietMesh& mesh) {
  SilentProgress silent;
  RefAnalyzePairs(mesh, silent);
}

// -------------------------------------------------------------- contraction

int64_t RefContractionTarget(int64_t face_count, double keep_ratio) {
  return Round((1 - keep_ratio) * static_cast<double>(face_count));
}

int32_t RefSelectPair(const DietMesh& mesh) {
  const int32_t n = static_cast<int32_t>(mesh.DietPairs.size());
  int32_t best = -1;
  for (int32_t i = 0; i < n; ++i) {
    if (!mesh.DietPairs[i].Active) continue;
    if (best < 0 || mesh.DietPairs[i].Cost < mesh.DietPairs[best].Cost) best = i;
  }
  return best;
}

void RefDeactivatePairs(DietMesh& mesh, int32_t a, int32_t b) {
  for (TDietPair& p : mesh.DietPairs) {
    if (p.Active && p.VertLo == a && p.VertHi == b) p.Active = false;
  }
}

void RefContractPair(DietMesh& mesh, int32_t p, int64_t& R) {
  TDietPair& pair = mesh.DietPairs[p];
  const int32_t a = pair.VertLo;
  const int32_t b = pair.VertHi;
  pair.Active = false;
  mesh.DietVerts[a].Used = false;
  mesh.DietVerts[b].Q = pair.Q;
  mesh.DietVerts[b].Pos = pair.Pos;
  for (TDietFace& f : mesh.DietFaces) {
    if (!f.Alive) continue;
    for (int c = 0; c < 3; ++c) {
      if (f.Verts[c] != a) continue;
      if (f.Verts[(c + 1) % 3] == b || f.Verts[(c + 2) % 3] == b) {
        f.Alive = false;
        ++R;
      } else {
        f.Verts[c] = b;
      }
      break;
    }
  }
  const int32_t n = static_cast<int32_t>(mesh.DietPairs.size());
  for (int32_t i = 0; i < n; ++i) {
    TDietPair& q = mesh.DietPairs[i];
    if (!q.Active) continue;
    int32_t c;
    if (q.VertLo == a) {
      c = q.VertHi;
    } else if (q.VertHi == a) {
      c = q.VertLo;
    } else {
      continue;
    }
    q.Active = false;
    const int32_t lo = std::min(b, c);
    const int32_t hi = std::max(b, c);
    RefDeactivatePairs(mesh, lo, hi);
    RefEvaluatePair(mesh, i, lo, hi);
  }
}

void RefContractMesh(DietMesh& mesh, double keep_ratio, ProgressSink& progress) {
  int64_t F = 0;
  for (const TDietFace& f : mesh.DietFaces) F += f.Alive ? 1 : 0;
  const int64_t T = RefContractionTarget(F, keep_ratio);
  int64_t S = Round(static_cast<double>(T) / 20);
  if (S < 2) S = T;
  int64_t M = S;
  int64_t R = 0;
  progress.SetCaption("Surface Simplification...");
  progress.ProcessMessages();
  while (R < T) {
    const int32_t p = RefSelectPair(mesh);
    if (p >= 0) RefContractPair(mesh, p, R);
    if (R >= M) {
      progress.SetPosition(
          static_cast<int>(Round(static_cast<double>(R) / static_cast<double>(T) * 50 + 50)));
      progress.ProcessMessages();
      M += S;
    }
    if (p < 0) break;
  }
}

void RefContractMesh(DietMesh& mesh, double keep_ratio) {
  SilentProgress silent;
  RefContractMesh(mesh, keep_ratio, silent);
}

// ------------------------------------------------------------------ driver

std::string RefSimplifyText(const std::string& path, double keep_ratio, ProgressSink& progress) {
  DietMesh mesh;
  progress.SetPosition(0);
  progress.Show();
  progress.SetCaption("Loading File...");
  progress.ProcessMessages();
  RefLoadDietMesh(path, mesh);
  progress.SetCaption("Analyzing Vertex information...");
  progress.ProcessMessages();
  RefAnalyzeVertices(mesh, progress);
  progress.SetCaption("Analyzing Vertex Pair information...");
  progress.ProcessMessages();
  RefAnalyzePairs(mesh, progress);
  RefContractMesh(mesh, keep_ratio, progress);
  std::string text = DietMeshText(mesh);
  progress.Hide();
  return text;
}

}  // namespace zelfin::ref
