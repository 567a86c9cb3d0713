// meshopt_obj: the peer of zelfin-cli -m simplify as a whole program, so that
// the benchmarks can compare reading, simplifying and writing end to end.
//
//   meshopt_obj [-t] IN.obj OUT.obj KEEP
//
// Reads the v and f lines of IN.obj (in blocks, with std::from_chars; polygons
// cut into fans), welds vertices of equal position as an OBJ importer would,
// simplifies with meshopt_simplify to round(KEEP x triangles) triangles (KEEP
// a fraction in (0, 1]; no error limit, so it goes to the count), and writes
// the vertices the result uses and its triangles as v and f lines. -t prints
// the time of each step on standard error. Exit status 1 on failure, 2 for
// bad usage.
#include <meshoptimizer.h>

#include <cerrno>
#include <cfloat>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/obj_reader.h"

namespace {

using Mesh = zelfin::bench::ObjMesh<float>;
using Clock = std::chrono::steady_clock;

struct Args {
  bool times = false;
  const char* in = nullptr;
  const char* out = nullptr;
  double keep = 0;
};

bool ParseArgs(int argc, char** argv, Args& args) {
  int i = 1;
  if (i < argc && std::strcmp(argv[i], "-t") == 0) {
    args.times = true;
    ++i;
  }
  if (argc - i != 3) return false;
  args.in = argv[i];
  args.out = argv[i + 1];
  const char* keep = argv[i + 2];
  const auto r = std::from_chars(keep, keep + std::strlen(keep), args.keep);
  return r.ec == std::errc() && *r.ptr == '\0' && args.keep > 0 && args.keep <= 1;
}

// Equal positions become one vertex and unused ones go, so that the
// simplification sees the surface's connections.
void Weld(Mesh& mesh) {
  std::vector<unsigned int> remap(mesh.VertexCount());
  const size_t unique =
      meshopt_generateVertexRemap(remap.data(), mesh.tri.data(), mesh.tri.size(), mesh.xyz.data(),
                                  mesh.VertexCount(), 3 * sizeof(float));
  meshopt_remapIndexBuffer(mesh.tri.data(), mesh.tri.data(), mesh.tri.size(), remap.data());
  std::vector<float> xyz(3 * unique);
  meshopt_remapVertexBuffer(xyz.data(), mesh.xyz.data(), mesh.VertexCount(), 3 * sizeof(float),
                            remap.data());
  mesh.xyz.swap(xyz);
}

void Simplify(Mesh& mesh, double keep) {
  const size_t target = 3 * static_cast<size_t>(std::llround(keep * mesh.TriangleCount()));
  std::vector<unsigned int> kept(mesh.tri.size());
  float error = 0;
  kept.resize(meshopt_simplify(kept.data(), mesh.tri.data(), mesh.tri.size(), mesh.xyz.data(),
                               mesh.VertexCount(), 3 * sizeof(float), target, FLT_MAX, 0, &error));
  mesh.tri.swap(kept);
}

// Text goes out in blocks of about 1 MB.
class Output {
 public:
  explicit Output(FILE* file) : file_(file) { text_.reserve(kBlock + 128); }
  void Number(float x) { text_.append(digits_, std::to_chars(digits_, digits_ + 64, x).ptr); }
  void Number(uint32_t x) { text_.append(digits_, std::to_chars(digits_, digits_ + 64, x).ptr); }
  void Text(const char* s) { text_ += s; }
  void EndLine() {
    text_ += '\n';
    if (text_.size() >= kBlock) Flush();
  }
  bool Flush() {
    ok_ = ok_ && std::fwrite(text_.data(), 1, text_.size(), file_) == text_.size();
    text_.clear();
    return ok_;
  }

 private:
  static constexpr size_t kBlock = 1 << 20;
  FILE* file_;
  std::string text_;
  char digits_[64];
  bool ok_ = true;
};

bool Write(const Mesh& mesh, const char* path) {
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  // 1-based numbers of the vertices the triangles use, in their order.
  std::vector<uint32_t> number(mesh.VertexCount(), 0);
  for (unsigned int v : mesh.tri) number[v] = 1;
  Output out(file);
  uint32_t written = 0;
  for (size_t v = 0; v < number.size(); ++v) {
    if (number[v] == 0) continue;
    number[v] = ++written;
    out.Text("v");
    for (int a = 0; a < 3; ++a) {
      out.Text(" ");
      out.Number(mesh.xyz[3 * v + a]);
    }
    out.EndLine();
  }
  for (size_t i = 0; i < mesh.tri.size(); i += 3) {
    out.Text("f");
    for (int k = 0; k < 3; ++k) {
      out.Text(" ");
      out.Number(number[mesh.tri[i + k]]);
    }
    out.EndLine();
  }
  const bool flushed = out.Flush();
  return std::fclose(file) == 0 && flushed;
}

void Report(bool on, const char* step, Clock::time_point& since) {
  const Clock::time_point now = Clock::now();
  if (on) {
    std::fprintf(stderr, "%-10s %8.3f s\n", step,
                 std::chrono::duration<double>(now - since).count());
  }
  since = now;
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  if (!ParseArgs(argc, argv, args)) {
    std::fprintf(stderr, "usage: %s [-t] IN.obj OUT.obj KEEP   (KEEP a fraction in (0, 1])\n",
                 argv[0]);
    return 2;
  }
  Clock::time_point t = Clock::now();
  Mesh mesh;
  std::string error;
  if (!zelfin::bench::ReadObj(args.in, mesh, error)) {
    std::fprintf(stderr, "meshopt_obj: %s\n", error.c_str());
    return 1;
  }
  Report(args.times, "read", t);
  Weld(mesh);
  Report(args.times, "weld", t);
  Simplify(mesh, args.keep);
  Report(args.times, "simplify", t);
  if (!Write(mesh, args.out)) {
    std::fprintf(stderr, "meshopt_obj: cannot write %s: %s\n", args.out, std::strerror(errno));
    return 1;
  }
  Report(args.times, "write", t);
  return 0;
}
