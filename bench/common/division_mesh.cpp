#include "common/division_mesh.h"

#include <charconv>

#include "platform/text_file.h"

namespace zelfin::bench {
namespace {

// A small deterministic generator (xorshift64*), so every run sees the same file.
struct Random {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  uint64_t Next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1Dull;
  }
  double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
};

void AppendNumber(std::string& out, double value) {
  char digits[32];
  const auto r = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6);
  out.append(digits, static_cast<size_t>(r.ptr - digits));
}

void AppendNumber(std::string& out, uint64_t value) {
  char digits[24];
  const auto r = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, static_cast<size_t>(r.ptr - digits));
}

// The text in blocks of about a megabyte, so the file never sits in memory whole.
class BlockWriter {
 public:
  explicit BlockWriter(const std::string& path) : writer_(path) {}
  std::string& out() { return out_; }
  void EndLine() {
    out_ += '\n';
    if (out_.size() > (1u << 20)) Flush();
  }
  void Commit() {
    Flush();
    writer_.Commit();
  }

 private:
  void Flush() {
    writer_.Write(out_);
    out_.clear();
  }
  AtomicFileWriter writer_;
  std::string out_;
};

void WriteVertexLines(BlockWriter& w, uint64_t side, Random& random) {
  const uint64_t count = side * side;
  const double scale = static_cast<double>(side);
  for (uint64_t i = 0; i < count; ++i) {
    w.out() += "v ";
    AppendNumber(w.out(), static_cast<double>(i % side) / scale);
    w.out() += ' ';
    AppendNumber(w.out(), static_cast<double>(i / side) / scale);
    w.out() += ' ';
    AppendNumber(w.out(), random.Unit() * 0.01);
    w.EndLine();
  }
  for (uint64_t i = 0; i < count; ++i) {
    w.out() += "vt ";
    AppendNumber(w.out(), random.Unit());
    w.out() += ' ';
    AppendNumber(w.out(), random.Unit());
    w.EndLine();
  }
  for (uint64_t i = 0; i < count; ++i) {
    w.out() += "vn ";
    AppendNumber(w.out(), random.Unit() - 0.5);
    w.out() += ' ';
    AppendNumber(w.out(), random.Unit() - 0.5);
    w.out() += " 1.000000";
    w.EndLine();
  }
}

void WriteFace(BlockWriter& w, uint64_t a, uint64_t b, uint64_t c) {
  w.out() += 'f';
  for (uint64_t index : {a, b, c}) {
    for (char before : {' ', '/', '/'}) {
      w.out() += before;
      AppendNumber(w.out(), index + 1);
    }
  }
  w.EndLine();
}

void WriteFaces(BlockWriter& w, uint64_t side, uint64_t materials) {
  uint64_t face = 0;
  // Stretches of 100 faces cycling through the materials, and stretches of
  // 100 that begin 50 faces later cycling through as many groups.
  const auto material = [&] {
    if (face % 100 == 0) {
      w.out() += "usemtl material_";
      AppendNumber(w.out(), (face / 100) % materials);
      w.EndLine();
    }
    if (face % 100 == 50) {
      w.out() += "g group_";
      AppendNumber(w.out(), (face / 100) % materials);
      w.EndLine();
    }
    ++face;
  };
  for (uint64_t y = 0; y + 1 < side; ++y) {
    for (uint64_t x = 0; x + 1 < side; ++x) {
      const uint64_t a = y * side + x, b = a + 1, c = a + side, d = c + 1;
      material();
      WriteFace(w, a, b, d);
      material();
      WriteFace(w, a, d, c);
    }
  }
}

}  // namespace

void WriteDivisionMesh(const std::string& path, uint64_t side, uint64_t materials) {
  BlockWriter writer(path);
  Random random;
  WriteVertexLines(writer, side, random);
  WriteFaces(writer, side, materials == 0 ? 1 : materials);
  writer.Commit();
}

}  // namespace zelfin::bench
