#include "simplify/diet_writer.h"

#include <charconv>
#include <cstdint>
#include <vector>

#include "platform/numbers.h"
#include "platform/paths.h"
#include "platform/text_file.h"

namespace zelfin {

namespace {

void AppendFixed8(std::string& out, double x) {
  char buf[400];  // room for the largest double in fixed notation
  const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, 8);
  out.append(buf, r.ptr);
}

void AppendInt(std::string& out, int64_t x) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, x);
  out.append(buf, r.ptr);
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
  const TArV& verts = mesh.DietVerts;
  // 1-based number of every written vertex, -1 for the others.
  std::vector<int32_t> DietOutIndex(verts.size(), -1);
  int32_t NV = 0;
  for (size_t i = 0; i < verts.size(); ++i) {
    if (verts[i].Used) DietOutIndex[i] = ++NV;
  }
  int64_t NF = 0;
  for (const TDietFace& f : mesh.DietFaces) NF += f.Alive ? 1 : 0;

  std::string out;
  out.reserve(64 + static_cast<size_t>(NV) * 40 + static_cast<size_t>(NF) * 32);
  out += "# Exported from Zelfin\r\n#";
  AppendInt(out, NV);
  out += " vertices, ";
  AppendInt(out, NF);
  out += " faces\r\n";
  for (const TDietVertex& v : verts) {
    if (!v.Used) continue;
    out += "v ";
    AppendFixed8(out, v.Pos.X);
    out += ' ';
    AppendFixed8(out, v.Pos.Y);
    out += ' ';
    AppendFixed8(out, v.Pos.Z);
    out += "\r\n";
  }
  for (const TDietFace& f : mesh.DietFaces) {
    if (!f.Alive) continue;
    out += "f ";
    for (int c = 0; c < 3; ++c) {
      if (c > 0) out += ' ';
      AppendInt(out, DietOutIndex[static_cast<size_t>(f.Verts[c])]);
      out += "//";
    }
    out += "\r\n";
  }
  return out;
}

void WriteDietMesh(const std::string& path, const std::string& folder, double keep_ratio,
                   const DietMesh& mesh) {
  WriteTextFileAtomic(DietOutputPath(path, folder, keep_ratio), DietMeshText(mesh));
}

}  // namespace zelfin
