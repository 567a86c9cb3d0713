#include "common/obj_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace zelfin::bench {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

const char* SkipBlanks(const char* p, const char* end) {
  while (p < end && IsBlank(*p)) ++p;
  return p;
}

// One line at a time; keeps the polygon buffer between lines.
template <class Real>
class LineParser {
 public:
  explicit LineParser(ObjMesh<Real>& mesh) : mesh_(mesh) {}

  // The line without its '\n'; what is wrong with it, or nullptr.
  const char* Line(const char* p, const char* end) {
    p = SkipBlanks(p, end);
    if (end - p < 2 || !IsBlank(p[1])) return nullptr;
    if (p[0] == 'v') return Vertex(p + 2, end);
    if (p[0] == 'f') return Face(p + 2, end);
    return nullptr;
  }

  // Positive indices may name v lines further on; they are checked at the end.
  bool Finish() const { return max_index_ < static_cast<int64_t>(mesh_.VertexCount()); }

 private:
  const char* Vertex(const char* p, const char* end) {
    for (int a = 0; a < 3; ++a) {
      p = SkipBlanks(p, end);
      if (p < end && *p == '+') ++p;
      Real x = 0;
      auto r = std::from_chars(p, end, x);
      if (r.ec == std::errc::result_out_of_range) {
        double wide = 0;  // beyond a float's range: let the cast round it
        r = std::from_chars(p, end, wide);
        x = static_cast<Real>(wide);
      }
      if (r.ec != std::errc()) return "bad or missing coordinate";
      mesh_.xyz.push_back(x);
      p = r.ptr;
    }
    return nullptr;
  }

  const char* Face(const char* p, const char* end) {
    poly_.clear();
    const int64_t count = static_cast<int64_t>(mesh_.VertexCount());
    while ((p = SkipBlanks(p, end)) < end) {
      int64_t k = 0;
      const auto r = std::from_chars(p, end, k);
      if (r.ec != std::errc() || k == 0) return "bad vertex reference";
      const int64_t index = k > 0 ? k - 1 : count + k;
      if (index < 0 || index > UINT32_MAX) return "vertex reference out of range";
      max_index_ = std::max(max_index_, index);
      poly_.push_back(static_cast<uint32_t>(index));
      p = r.ptr;
      while (p < end && !IsBlank(*p)) ++p;  // "/t/n"
    }
    for (size_t i = 2; i < poly_.size(); ++i) {
      mesh_.tri.insert(mesh_.tri.end(), {poly_[0], poly_[i - 1], poly_[i]});
    }
    return nullptr;
  }

  ObjMesh<Real>& mesh_;
  std::vector<uint32_t> poly_;
  int64_t max_index_ = -1;
};

// Feeds the parser the file's lines, read in blocks of 4 MB (more for longer lines).
template <class Real>
bool ParseLines(int fd, LineParser<Real>& parser, std::string& error) {
  std::vector<char> buf(size_t{1} << 22);
  size_t held = 0;  // an unfinished line at the front of buf
  int64_t line = 0;
  for (;;) {
    if (held == buf.size()) buf.resize(2 * buf.size());
    const ssize_t got = read(fd, buf.data() + held, buf.size() - held);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = std::strerror(errno);
      return false;
    }
    const char* p = buf.data();
    const char* end = p + held + got;
    while (p < end) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
      if (nl == nullptr && got > 0) break;
      if (nl == nullptr) nl = end;
      ++line;
      if (const char* wrong = parser.Line(p, nl)) {
        error = "line " + std::to_string(line) + ": " + wrong;
        return false;
      }
      p = nl < end ? nl + 1 : end;
    }
    if (got == 0) return true;
    held = static_cast<size_t>(end - p);
    std::memmove(buf.data(), p, held);
  }
}

}  // namespace

template <class Real>
bool ReadObj(const std::string& path, ObjMesh<Real>& mesh, std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  LineParser<Real> parser(mesh);
  const bool ok = ParseLines(fd, parser, error);
  close(fd);
  if (ok && !parser.Finish()) error = "a face names a vertex the file does not have";
  if (!error.empty()) error = path + ": " + error;
  return error.empty();
}

template bool ReadObj(const std::string&, ObjMesh<float>&, std::string&);
template bool ReadObj(const std::string&, ObjMesh<double>&, std::string&);

}  // namespace zelfin::bench
