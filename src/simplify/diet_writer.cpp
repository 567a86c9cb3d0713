#include "simplify/diet_writer.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "platform/heartbeat.h"
#include "platform/huge_pages.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "platform/text_file.h"
#include "platform/two_halves.h"
#include "simplify/diet_first_numbers.h"

namespace zelfin {

namespace {

// The text in pieces: whole files of millions of lines never sit in memory.
class MeshText {
 public:
  explicit MeshText(std::function<void(std::string_view)> flush) : flush_(std::move(flush)) {
    out_.reserve(kPiece + 512);
  }
  std::string& Out() {
    if (out_.size() >= kPiece) Flush();
    return out_;
  }
  void Flush() {
    flush_(out_);
    out_.clear();
  }
  void Append(std::string_view piece) {
    Flush();
    flush_(piece);
  }

 private:
  static constexpr size_t kPiece = size_t{1} << 20;
  std::function<void(std::string_view)> flush_;
  std::string out_;
};

void AppendShortest(std::string& out, double x) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, x);
  out.append(buf, r.ptr);
}

void AppendInt(std::string& out, int64_t x) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, x);
  out.append(buf, r.ptr);
}

void AppendHeader(std::string& out, int64_t NV, int64_t NF) {
  out += "# Exported from Zelfin\r\n#";
  AppendInt(out, NV);
  out += " vertices, ";
  AppendInt(out, NF);
  out += " faces\r\n";
}

// The lines of vertices and faces, millions of them, are put together in a
// buffer of their own and appended whole: an append per number cost more
// than the numbers.
void AppendVertex(std::string& out, const TDietVec& p, bool shortest) {
  char line[3 * 401 + 3];  // three numbers of up to 400 characters in fixed notation
  char* end = line;
  *end++ = 'v';
  for (const double x : {p.X, p.Y, p.Z}) {
    *end++ = ' ';
    end = shortest ? std::to_chars(end, end + 32, x).ptr : FormatFixed8(end, x);
  }
  *end++ = '\r';
  *end++ = '\n';
  out.append(line, end);
}

// "f 1// 2// 3//" (historical) or "f 1 2 3".
void AppendFace(std::string& out, const int32_t (&number)[3], bool plain) {
  char line[3 * 14 + 3];
  char* end = line;
  *end++ = 'f';
  for (const int32_t n : number) {
    *end++ = ' ';
    end = std::to_chars(end, end + 11, n).ptr;
    if (!plain) {
      *end++ = '/';
      *end++ = '/';
    }
  }
  *end++ = '\r';
  *end++ = '\n';
  out.append(line, end);
}

// The 1-based number of every written vertex, -1 for the others (the defined
// DietOutIndex), and how many are written.
template <class UsedOf>
std::vector<int32_t> OutIndex(size_t count, UsedOf&& used, int32_t& NV) {
  std::vector<int32_t> DietOutIndex = HugeTable<int32_t>(count, -1);
  NV = 0;
  for (size_t i = 0; i < count; ++i) {
    if (used(i)) DietOutIndex[i] = ++NV;
  }
  return DietOutIndex;
}

void WriteTables(const DietMesh& mesh, MeshText& text) {
  const TArV& verts = mesh.DietVerts;
  int32_t NV = 0;
  const std::vector<int32_t> DietOutIndex = OutIndex(
      verts.size(), [&](size_t i) { return verts[i].Used; }, NV);
  int64_t NF = 0;
  for (const TDietFace& f : mesh.DietFaces) NF += f.Alive ? 1 : 0;
  AppendHeader(text.Out(), NV, NF);
  for (const TDietVertex& v : verts) {
    if (v.Used) AppendVertex(text.Out(), v.Pos, false);
  }
  for (const TDietFace& f : mesh.DietFaces) {
    if (!f.Alive) continue;
    const int32_t number[3] = {DietOutIndex[static_cast<size_t>(f.Verts[0])],
                               DietOutIndex[static_cast<size_t>(f.Verts[1])],
                               DietOutIndex[static_cast<size_t>(f.Verts[2])]};
    AppendFace(text.Out(), number, false);
  }
  text.Flush();
}

// A vertex of the run in the input's own coordinates. One that never moved
// is written as it was read (the shortest text of its value); a moved one
// has its normalisation undone and is written with as many decimals as its
// own vertex line gave (the most of its three coordinates) plus three, to at
// most nine significant digits (what a reader keeps in single precision)
// unless that line gave more: "2.060726" beside "2.297", not
// "2.060725514195587". Per line, since files written with a fixed count of
// significant digits give small coordinates more decimals than large ones.
void AppendOwnVertex(std::string& out, const DietRun& run, const LoadedMesh& loaded, size_t v) {
  if (!(run.flags[v] & kMoved) && v < loaded.raw.size()) {
    AppendVertex(out, loaded.raw[v], true);
    return;
  }
  const TDietVec& p = run.pos[v];
  const Normalisation& n = loaded.norm;
  const double own[3] = {(p.X + 1) * n.s + n.m[0], (p.Y + 1) * n.s + n.m[1],
                         (p.Z + 1) * n.s + n.m[2]};
  const LinePrecision own_line =
      v < loaded.precision.size() ? loaded.precision[v] : LinePrecision{};
  const int decimals = own_line.decimals + 3;
  const int digits = std::min(std::max(9, static_cast<int>(own_line.digits)), 17);
  char line[3 * 33 + 3];
  char* end = line;
  *end++ = 'v';
  for (const double x : own) {
    *end++ = ' ';
    end = FormatPrecise(end, x, decimals, digits);
  }
  *end++ = '\r';
  *end++ = '\n';
  out.append(line, end);
}

// Formats the lines of items [0, count) two stretches at a time, one on each
// core, and hands them over in order.
template <class FormatStretch>
void FormatTwoAtATime(size_t count, FormatStretch&& format, MeshText& text, Heartbeat& heartbeat) {
  constexpr size_t kStretch = 65536;
  std::string piece[2];
  for (size_t from = 0; from < count; from += 2 * kStretch) {
    const size_t middle = std::min(from + kStretch, count);
    const size_t to = std::min(middle + kStretch, count);
    RunHalvesTogether(
        [&] {
          piece[0].clear();
          format(piece[0], from, middle);
        },
        [&] {
          piece[1].clear();
          format(piece[1], middle, to);
        },
        [&] { heartbeat.Beat(4096); });
    text.Append(piece[0]);
    text.Append(piece[1]);
    heartbeat.Beat(static_cast<int64_t>(to - from));
  }
}

// The written vertices' numbers (DietOutIndex), after the two comment lines
// that count the written vertices and faces.
std::vector<int32_t> NumberAndCount(const DietRun& run, MeshText& text) {
  int32_t NV = 0;
  std::vector<int32_t> DietOutIndex = OutIndex(
      run.VertexCount(), [&](size_t i) { return run.Used(i); }, NV);
  int64_t NF = 0;
  for (const FaceCorners& f : run.faces) NF += FaceAlive(f) ? 1 : 0;
  AppendHeader(text.Out(), NV, NF);
  return DietOutIndex;
}

// The classic method: normalised coordinates with eight decimals, corners
// "v//". The refined one: the input's own coordinates, corners as the input
// wrote them, plain "v".
void WriteRun(const DietRun& run, const LoadedMesh& loaded, SimplifyMethod method, MeshText& text,
              Heartbeat& heartbeat) {
  const std::vector<int32_t> DietOutIndex = NumberAndCount(run, text);
  const bool own = method == SimplifyMethod::kRefined;
  const auto vertices = [&](std::string& out, size_t from, size_t to) {
    for (size_t v = from; v < to; ++v) {
      if (!run.Used(v)) continue;
      if (own) {
        AppendOwnVertex(out, run, loaded, v);
      } else {
        AppendVertex(out, run.pos[v], false);
      }
    }
  };
  FormatTwoAtATime(run.VertexCount(), vertices, text, heartbeat);
  const auto faces = [&](std::string& out, size_t from, size_t to) {
    for (size_t j = from; j < to; ++j) {
      const FaceCorners& f = run.faces[j];
      if (!FaceAlive(f)) continue;
      const int32_t number[3] = {DietOutIndex[static_cast<size_t>(f[0])],
                                 DietOutIndex[static_cast<size_t>(f[1])],
                                 DietOutIndex[static_cast<size_t>(f[2])]};
      AppendFace(out, number, own);
    }
  };
  FormatTwoAtATime(run.faces.size(), faces, text, heartbeat);
  text.Flush();
}

// A run's group, material and smoothing group (-1 none).
struct RunKey {
  int32_t group, material, smoothing;
  bool operator==(const RunKey&) const = default;
};
struct RunKeyHash {
  size_t operator()(const RunKey& k) const {
    const uint64_t h =
        static_cast<uint64_t>(static_cast<uint32_t>(k.group)) * 0x9E3779B97F4A7C15ull ^
        static_cast<uint64_t>(static_cast<uint32_t>(k.material)) << 21 ^
        static_cast<uint32_t>(k.smoothing);
    return static_cast<size_t>(h ^ h >> 29);
  }
};

RunKey RunKeyOf(const AttributeRun& attr, size_t j) {
  return {attr.face_group[j], attr.face_material[j], attr.face_smoothing[j]};
}

// The faces in the order they are written: in runs of one group, one
// material and one smoothing group, the runs in the order their key first
// appears, each run's faces in table order. Returns the live faces and where
// each run starts.
std::vector<int32_t> FacesByRun(const DietRun& run, const AttributeRun& attr,
                                std::vector<size_t>& run_start) {
  std::unordered_map<RunKey, size_t, RunKeyHash> run_of;
  std::vector<size_t> face_run = HugeTable<size_t>(run.faces.size(), SIZE_MAX);
  std::vector<size_t> count;
  for (size_t j = 0; j < run.faces.size(); ++j) {
    if (!FaceAlive(run.faces[j])) continue;
    const auto [it, fresh] = run_of.try_emplace(RunKeyOf(attr, j), count.size());
    if (fresh) count.push_back(0);
    face_run[j] = it->second;
    ++count[it->second];
  }
  run_start.assign(count.size() + 1, 0);
  for (size_t r = 0; r < count.size(); ++r) run_start[r + 1] = run_start[r] + count[r];
  std::vector<int32_t> order = HugeTable<int32_t>(run_start.back());
  std::vector<size_t> fill(run_start.begin(), run_start.end() - 1);
  for (size_t j = 0; j < run.faces.size(); ++j) {
    if (face_run[j] != SIZE_MAX) order[fill[face_run[j]]++] = static_cast<int32_t>(j);
  }
  return order;
}

// Numbers the texture coordinates or normals (N values each) that the written
// corners use, from 1 in the order of first use, identical values once;
// appends their lines to out.
template <size_t N>
class AttributeNumbers {
 public:
  AttributeNumbers(size_t wedges, const char* keyword) : number_(wedges, 0), keyword_(keyword) {}

  int32_t Of(int32_t wedge, const std::array<double, N>& value, std::string& out) {
    int32_t& n = number_[static_cast<size_t>(wedge)];
    if (n != 0) return n;
    bool fresh = false;
    n = seen_.Number(BitsOf(value), static_cast<int32_t>(seen_.size() + 1), fresh);
    if (fresh) {
      out += keyword_;
      for (const double x : value) {
        out += ' ';
        AppendShortest(out, x);
      }
      out += "\r\n";
    }
    return n;
  }

 private:
  std::vector<int32_t> number_;  // per wedge, 0 until first used
  FirstNumbers<N> seen_;
  const char* keyword_;
};

std::array<double, 3> UnitNormal(const std::array<double, kAttributes>& v) {
  const double length = std::sqrt(v[2] * v[2] + v[3] * v[3] + v[4] * v[4]);
  if (!(length > 0)) return {0, 0, 0};
  return {v[2] / length, v[3] / length, v[4] / length};
}

// The faces' lines, and the vt and vn lines of the values they use.
void FormatAttributeFaces(const DietRun& run, const AttributeRun& attr,
                          const std::vector<int32_t>& DietOutIndex, std::string& vt_lines,
                          std::string& vn_lines, std::string& faces, Heartbeat& heartbeat) {
  std::vector<size_t> run_start;
  const std::vector<int32_t> order = FacesByRun(run, attr, run_start);
  AttributeNumbers<2> uv(attr.values.size(), "vt");
  AttributeNumbers<3> normal(attr.values.size(), "vn");
  for (size_t r = 0; r + 1 < run_start.size(); ++r) {
    const RunKey key = RunKeyOf(attr, static_cast<size_t>(order[run_start[r]]));
    if (key.group >= 0) AppendLine(faces, "g " + attr.groups[static_cast<size_t>(key.group)]);
    if (key.material >= 0) {
      AppendLine(faces, "usemtl " + attr.materials[static_cast<size_t>(key.material)]);
    }
    if (key.smoothing >= 0) {
      AppendLine(faces, "s " + attr.smoothing[static_cast<size_t>(key.smoothing)]);
    }
    for (size_t k = run_start[r]; k < run_start[r + 1]; ++k) {
      heartbeat.Beat();
      const size_t j = static_cast<size_t>(order[k]);
      faces += 'f';
      for (int c = 0; c < 3; ++c) {
        const int32_t w = attr.face_wedges[j][static_cast<size_t>(c)];
        const std::array<double, kAttributes>& v = attr.values[static_cast<size_t>(w)];
        const uint8_t parts =
            attr.face_parts[j][static_cast<size_t>(c)] & attr.has[static_cast<size_t>(w)];
        faces += ' ';
        AppendInt(faces, DietOutIndex[static_cast<size_t>(run.faces[j][static_cast<size_t>(c)])]);
        if (parts == 0) continue;
        faces += '/';
        if (parts & 1) AppendInt(faces, uv.Of(w, std::array<double, 2>{v[0], v[1]}, vt_lines));
        if (parts & 2) {
          faces += '/';
          AppendInt(faces, normal.Of(w, UnitNormal(v), vn_lines));
        }
      }
      faces += "\r\n";
    }
  }
}

// A refined run with attributes: the mtllib lines, v, vt and vn lines, then
// the faces in runs of one group and one material, each corner in the form
// the input gave it.
void WriteRunWithAttributes(const DietRun& run, const LoadedMesh& loaded, const AttributeRun& attr,
                            MeshText& text, Heartbeat& heartbeat) {
  const std::vector<int32_t> DietOutIndex = NumberAndCount(run, text);
  for (const std::string& line : attr.libraries) AppendLine(text.Out(), line);
  const auto vertices = [&](std::string& out, size_t from, size_t to) {
    for (size_t v = from; v < to; ++v) {
      if (run.Used(v)) AppendOwnVertex(out, run, loaded, v);
    }
  };
  FormatTwoAtATime(run.VertexCount(), vertices, text, heartbeat);
  std::string vt_lines, vn_lines, faces;
  FormatAttributeFaces(run, attr, DietOutIndex, vt_lines, vn_lines, faces, heartbeat);
  text.Append(vt_lines);
  text.Append(vn_lines);
  text.Append(faces);
  text.Flush();
}

}  // namespace

std::string DietOutputPath(const std::string& path, const std::string& folder, double keep_ratio) {
  std::string out = folder;
  out += BaseName(path);
  out += "_Simplified";
  AppendInt(out, RoundHalfEven(keep_ratio * 100));
  out += "%.obj";
  return out;
}

std::string DietMeshText(const DietMesh& mesh) {
  std::string whole;
  MeshText text([&whole](std::string_view piece) { whole.append(piece); });
  WriteTables(mesh, text);
  return whole;
}

void WriteDietMesh(const std::string& path, const std::string& folder, double keep_ratio,
                   const DietMesh& mesh) {
  WriteTextFileAtomic(DietOutputPath(path, folder, keep_ratio), DietMeshText(mesh));
}

void WriteDietMesh(const std::string& out_path, const DietRun& run, const LoadedMesh& loaded,
                   SimplifyMethod method, const AttributeRun* attributes, ProgressSink& progress) {
  AtomicFileWriter writer(out_path);
  MeshText text([&writer](std::string_view piece) { writer.Write(piece); });
  Heartbeat heartbeat(progress);
  if (attributes) {
    WriteRunWithAttributes(run, loaded, *attributes, text, heartbeat);
  } else {
    WriteRun(run, loaded, method, text, heartbeat);
  }
  writer.Commit();
}

}  // namespace zelfin
