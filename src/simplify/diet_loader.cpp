#include "simplify/diet_loader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include <vector>

#include "platform/errors.h"
#include "platform/numbers.h"
#include "platform/obj_lexer.h"
#include "platform/text_file.h"
#include "simplify/diet_geometry.h"
#include "simplify/diet_point_grid.h"
#include "platform/two_halves.h"

namespace zelfin {

namespace {

enum class LineKind { kOther, kVertex, kFace };

LineKind KindOf(std::string_view line) {
  if (line.size() >= 2 && line[1] == ' ') {
    if (line[0] == 'v') return LineKind::kVertex;
    if (line[0] == 'f') return LineKind::kFace;
  }
  return LineKind::kOther;
}

// A vertex or face line: where its trimmed text stands in the file's text.
struct MeshLine {
  int64_t offset;
  uint32_t length;
  LineKind kind;
};

// The number (from 1) of the line that starts at offset; only errors need it.
int64_t LineNumberAt(std::string_view text, int64_t offset) {
  int64_t line_no = 1;
  for (int64_t i = 0; i < offset; ++i) {
    const char c = text[static_cast<size_t>(i)];
    if (c == '\n' || (c == '\r' && !(i + 1 < offset && text[static_cast<size_t>(i) + 1] == '\n'))) {
      ++line_no;
    }
  }
  return line_no;
}

// One pass over the text: tabs become spaces and commas periods (in place),
// and the vertex and face lines are listed. Lines end at CR LF, CR or LF.
std::vector<MeshLine> ScanMeshLines(std::string& text) {
  std::vector<MeshLine> lines;
  char* t = text.data();
  const size_t n = text.size();
  auto end_line = [&](size_t start, size_t end) {
    const std::string_view line = TrimObjLine(std::string_view(t + start, end - start));
    const LineKind kind = KindOf(line);
    if (kind == LineKind::kOther) return;
    if (line.size() > UINT32_MAX) throw ZelfinError("A line of the file is too long to be read");
    lines.push_back({line.data() - t, static_cast<uint32_t>(line.size()), kind});
  };
  size_t start = 0;
  size_t i = 0;
  while (i < n) {
    const char c = t[i];
    // Letters, digits, '.', '-' and '/' all stand above ','.
    if (static_cast<unsigned char>(c) > ',') {
      ++i;
      continue;
    }
    if (c == '\t') {
      t[i] = ' ';
    } else if (c == ',') {
      t[i] = '.';
    } else if (c == '\n' || c == '\r') {
      end_line(start, i);
      i += (c == '\r' && i + 1 < n && t[i + 1] == '\n') ? 2 : 1;
      start = i;
      continue;
    }
    ++i;
  }
  if (start < n) end_line(start, n);
  return lines;
}

std::string Where(int64_t line_no, const std::string& path) {
  return " on line " + std::to_string(line_no) + " of " + Quoted(path);
}

[[noreturn]] void RaiseOverflow(int64_t line_no, const std::string& path) {
  throw ZelfinError("Floating point overflow" + Where(line_no, path));
}

[[noreturn]] void RaiseOverflow() {
  throw ZelfinError("Floating point overflow");
}

struct Normalisation {
  double m[3] = {0, 0, 0};
  double s = 0;
};

// The coordinates of the vertex lines of lines[first..last), the first of
// them being vertex number first_vertex, with their bounding box; or the
// place of the first line that cannot be read.
struct CoordinateRun {
  size_t first = 0, last = 0, first_vertex = 0;
  size_t vertices = 0;
  double mn[3] = {0, 0, 0};
  double mx[3] = {0, 0, 0};
  int64_t bad_offset = -1;  // the first bad vertex line, or -1
  size_t bad_tokens = 0;    // its token count, when it had too few
};

void ReadCoordinateRun(std::string_view text, const std::vector<MeshLine>& lines,
                       std::vector<TDietVec>& raw, CoordinateRun& run) {
  std::vector<std::string_view> tokens;
  std::string scratch;
  size_t k = run.first_vertex;
  for (size_t li = run.first; li < run.last; ++li) {
    const MeshLine& ml = lines[li];
    if (ml.kind != LineKind::kVertex) continue;
    SplitObjTokens(text.substr(static_cast<size_t>(ml.offset), ml.length), tokens, scratch);
    double c[3] = {0, 0, 0};
    bool readable = tokens.size() >= 4;
    for (int a = 0; readable && a < 3; ++a) {
      readable = ReadCoordinate(tokens[1 + a], c[a]) != CoordinateRead::kOverflow;
    }
    if (!readable) {
      run.bad_offset = ml.offset;
      run.bad_tokens = tokens.size();
      return;
    }
    for (int a = 0; a < 3; ++a) {
      if (run.vertices == 0) {
        run.mn[a] = c[a];
        run.mx[a] = c[a];
      } else {
        if (c[a] < run.mn[a]) run.mn[a] = c[a];
        if (c[a] > run.mx[a]) run.mx[a] = c[a];
      }
    }
    raw[k++] = {c[0], c[1], c[2]};
    ++run.vertices;
  }
}

// Reads the raw coordinates of every vertex line into raw and returns the
// offsets and scale that map them into [-1, 1]. The lines are read in two
// halves at once; the box of the second half then joins that of the first
// with the same strict comparisons, so it is the box of one pass in file
// order, and the error raised is that of the first bad line in the file.
Normalisation ReadVertexCoordinates(std::string_view text, const std::vector<MeshLine>& lines,
                                    const std::string& path, std::vector<TDietVec>& raw) {
  CoordinateRun runs[2];
  runs[0].last = runs[1].first = lines.size() / 2;
  runs[1].last = lines.size();
  for (size_t li = 0; li < runs[0].last; ++li) {
    if (lines[li].kind == LineKind::kVertex) ++runs[1].first_vertex;
  }
  constexpr size_t kWorthAThread = 65536;
  if (lines.size() < kWorthAThread) {
    ReadCoordinateRun(text, lines, raw, runs[0]);
    ReadCoordinateRun(text, lines, raw, runs[1]);
  } else {
    RunHalvesTogether([&] { ReadCoordinateRun(text, lines, raw, runs[0]); },
                      [&] { ReadCoordinateRun(text, lines, raw, runs[1]); });
  }
  for (const CoordinateRun& run : runs) {
    if (run.bad_offset < 0) continue;
    const int64_t line_no = LineNumberAt(text, run.bad_offset);
    if (run.bad_tokens < 4) {
      throw ZelfinError("List index out of bounds (" + std::to_string(run.bad_tokens) + ")" +
                        Where(line_no, path));
    }
    RaiseOverflow(line_no, path);
  }

  double mn[3], mx[3];
  for (int a = 0; a < 3; ++a) {
    mn[a] = runs[0].mn[a];
    mx[a] = runs[0].mx[a];
    if (runs[0].vertices == 0) {
      mn[a] = runs[1].mn[a];
      mx[a] = runs[1].mx[a];
    } else if (runs[1].vertices > 0) {
      if (runs[1].mn[a] < mn[a]) mn[a] = runs[1].mn[a];
      if (runs[1].mx[a] > mx[a]) mx[a] = runs[1].mx[a];
    }
  }

  Normalisation n;
  double h[3];
  for (int a = 0; a < 3; ++a) {
    const double extent = mx[a] - mn[a];
    if (!std::isfinite(extent)) RaiseOverflow();
    h[a] = extent / 2;
  }
  n.s = h[0];
  if (h[1] > n.s) n.s = h[1];
  if (h[2] > n.s) n.s = h[2];
  for (int a = 0; a < 3; ++a) {
    // The offset is half the missing extent, so shorter axes are not centred.
    n.m[a] = mn[a] - (n.s - h[a]) / 2;
    if (!std::isfinite(n.m[a])) RaiseOverflow();
  }
  return n;
}

double Normalised(double c, double m, double s) {
  const double shifted = c - m;
  if (!std::isfinite(shifted)) RaiseOverflow();
  return shifted / s - 1;
}

[[noreturn]] void RaiseBadReference(std::string_view token, int64_t line_no,
                                    const std::string& path) {
  throw ZelfinError("Face" + Where(line_no, path) + " has a vertex reference " + Quoted(token) +
                    " that names no vertex");
}

[[noreturn]] void RaiseMissingVertex(std::string_view token, int64_t nv, int64_t line_no,
                                     const std::string& path) {
  const std::string_view number = token.substr(0, token.find('/'));
  throw ZelfinError("Face" + Where(line_no, path) + " refers to vertex " + ForMessage(number) +
                    ", but only " + std::to_string(nv) +
                    (nv == 1 ? " vertex stands" : " vertices stand") + " before it");
}

}  // namespace

void LoadDietMeshText(std::string& text, const std::string& path, DietMesh& mesh) {
  // Pass 1: the vertex and face lines, how many vertices, at most how many triangles.
  const std::vector<MeshLine> lines = ScanMeshLines(text);
  int64_t vertex_count = 0;
  int64_t estimate = 0;
  for (const MeshLine& ml : lines) {
    if (ml.kind == LineKind::kVertex) {
      ++vertex_count;
    } else {
      const std::string_view line(text.data() + ml.offset, ml.length);
      const int64_t refs = static_cast<int64_t>(CountObjTokens(line)) - 1;
      if (refs >= 3) estimate += refs - 2;
    }
  }
  constexpr int64_t kMaxIndex = std::numeric_limits<int32_t>::max();
  if (vertex_count > kMaxIndex || estimate > kMaxIndex) {
    throw ZelfinError("The file " + Quoted(path) +
                      " holds more vertices or triangles than can be simplified");
  }

  // Positions, links and flags are gathered in small arrays first: faces name
  // vertices all over the table, and these stay in the cache where the
  // vertex records would not.
  std::vector<TDietVec> pos(static_cast<size_t>(vertex_count));
  std::vector<int32_t> same_as(static_cast<size_t>(vertex_count));
  std::vector<uint8_t> used(static_cast<size_t>(vertex_count), 0);
  mesh.DietPairs = TArP();
  // Sized once for the estimate; faces are appended as they are stored.
  mesh.DietFaces = TArF();
  mesh.DietFaces.reserve(static_cast<size_t>(estimate));
  TArF& faces = mesh.DietFaces;

  // Pass 2: raw coordinates and the bounding box.
  const Normalisation norm = ReadVertexCoordinates(text, lines, path, pos);

  // Pass 3: normalised positions, coincident points, triangles.
  PointGrid grid(static_cast<size_t>(vertex_count));
  int32_t nv = 0;
  std::vector<std::string_view> tokens;
  std::string scratch;
  std::vector<int32_t> corners;
  for (const MeshLine& ml : lines) {
    if (ml.kind == LineKind::kVertex) {
      // All points at one place: every normalisation would be 0 / 0.
      if (norm.s == 0) throw ZelfinError("Invalid floating point operation");
      TDietVec& P = pos[static_cast<size_t>(nv)];
      P = {Normalised(P.X, norm.m[0], norm.s), Normalised(P.Y, norm.m[1], norm.s),
           Normalised(P.Z, norm.m[2], norm.s)};
      same_as[static_cast<size_t>(nv)] = grid.FindLowestAndAdd(pos, P, nv);
      ++nv;
      continue;
    }
    SplitObjTokens(std::string_view(text.data() + ml.offset, ml.length), tokens, scratch);
    const size_t n = tokens.size() - 1;
    if (n < 3) continue;
    // Welded index of every reference; one step of SameAs only.
    corners.resize(n);
    for (size_t r = 0; r < n; ++r) {
      const std::string_view token = tokens[1 + r];
      int64_t a = 0;
      if (!ReadVertexReference(token, a) || a == 0) {
        RaiseBadReference(token, LineNumberAt(text, ml.offset), path);
      }
      const int64_t index = a > 0 ? a - 1 : nv + a;
      if (index < 0 || index >= nv) {
        RaiseMissingVertex(token, nv, LineNumberAt(text, ml.offset), path);
      }
      corners[r] = same_as[static_cast<size_t>(index)];
    }
    for (size_t k = 2; k < n; ++k) {
      const int32_t i0 = corners[0], i1 = corners[k - 1], i2 = corners[k];
      if (i0 == i1 || i1 == i2 || i0 == i2) continue;  // collapsed onto an edge or a point
      TDietFace& f = faces.emplace_back();
      f.Alive = true;
      f.Verts[0] = i0;
      f.Verts[1] = i1;
      f.Verts[2] = i2;
      used[static_cast<size_t>(i0)] = 1;
      used[static_cast<size_t>(i1)] = 1;
      used[static_cast<size_t>(i2)] = 1;
      const TDietVec& A = pos[static_cast<size_t>(i0)];
      const TDietVec& B = pos[static_cast<size_t>(i1)];
      const TDietVec& C = pos[static_cast<size_t>(i2)];
      f.Normal = TriangleNormal(A, B, C);
      f.Area = TriangleArea(A, B, C);
    }
  }
  // The pair analysis numbers three edges per triangle in 32 bits.
  if (faces.size() > static_cast<size_t>(kMaxIndex / 3)) {
    throw ZelfinError("The file " + Quoted(path) +
                      " holds more vertices or triangles than can be simplified");
  }
  // Triangles that collapsed were not stored: give back what they would have taken.
  if (faces.size() < faces.capacity()) faces.shrink_to_fit();
  mesh.DietVerts = TArV();
  mesh.DietVerts.reserve(pos.size());
  for (size_t i = 0; i < pos.size(); ++i) {
    TDietVertex& v = mesh.DietVerts.emplace_back();
    v.Used = used[i] != 0;
    v.SameAs = same_as[i];
    v.Pos = pos[i];
  }
}

bool ReadVertexReference(std::string_view token, int64_t& value) {
  return ParseInteger(token.substr(0, token.find('/')), value);
}

void LoadDietMesh(const std::string& path, DietMesh& mesh) {
  std::string text = ReadTextFile(path);
  LoadDietMeshText(text, path, mesh);
}

}  // namespace zelfin
