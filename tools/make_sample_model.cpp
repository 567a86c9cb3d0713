// Writes the sample model that the README's first command divides: a small
// table with a lamp, in boxes, with three materials and four groups, texture
// coordinates and normals, and quads as faces.
//   make_sample_model OUT.obj
#include <cstdio>
#include <string>

namespace {

struct Box {
  const char* group;
  const char* material;
  double x0, y0, z0, x1, y1, z1;
};

std::string Num(double v) {
  char buf[32];
  // Fixed notation with "." whatever the locale: the values are multiples of 1/64.
  const long long q = static_cast<long long>(v * 64 + (v < 0 ? -0.5 : 0.5));
  const char* sign = q < 0 ? "-" : "";
  const long long a = q < 0 ? -q : q;
  std::snprintf(buf, sizeof buf, "%s%lld.%06lld", sign, a / 64, (a % 64) * 15625);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_sample_model OUT.obj\n", stderr);
    return 2;
  }
  const Box boxes[] = {
      {"table_top", "wood", -1.0, 0.75, -0.5, 1.0, 0.8125, 0.5},
      {"legs", "wood", -0.9375, 0.0, -0.4375, -0.8125, 0.75, -0.3125},
      {"legs", "wood", 0.8125, 0.0, -0.4375, 0.9375, 0.75, -0.3125},
      {"legs", "wood", -0.9375, 0.0, 0.3125, -0.8125, 0.75, 0.4375},
      {"legs", "wood", 0.8125, 0.0, 0.3125, 0.9375, 0.75, 0.4375},
      {"lamp", "metal", 0.25, 0.8125, -0.125, 0.375, 1.25, 0.0},
      {"lamp shade", "glass", 0.125, 1.25, -0.25, 0.5, 1.5, 0.125},
  };
  std::string out = "# Zelfin sample model: a table with a lamp\nmtllib sample.mtl\n";
  // The six faces of a box: corner numbers (bit 0 x, bit 1 y, bit 2 z) and normal.
  const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                           {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  const char* normals[6] = {"0 0 -1", "0 0 1", "0 -1 0", "0 1 0", "-1 0 0", "1 0 0"};
  out += "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";
  for (const char* n : normals) out += std::string("vn ") + n + "\n";
  int base = 0;
  for (const Box& b : boxes) {
    out += std::string("g ") + b.group + "\nusemtl " + b.material + "\n";
    for (int c = 0; c < 8; ++c) {
      out += "v " + Num(c & 1 ? b.x1 : b.x0) + " " + Num(c & 2 ? b.y1 : b.y0) + " " +
             Num(c & 4 ? b.z1 : b.z0) + "\n";
    }
    for (int f = 0; f < 6; ++f) {
      out += "f";
      for (int k = 0; k < 4; ++k) {
        out += " " + std::to_string(base + quads[f][k] + 1) + "/" + std::to_string(k + 1) + "/" +
               std::to_string(f + 1);
      }
      out += "\n";
    }
    base += 8;
  }
  FILE* file = std::fopen(argv[1], "wb");
  if (!file || std::fwrite(out.data(), 1, out.size(), file) != out.size() || std::fclose(file)) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
