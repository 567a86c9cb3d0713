#include "common/textured_obj.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

namespace zelfin::bench {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// The next blank-separated word of `rest`, taken off its front.
std::string_view NextWord(std::string_view& rest) {
  size_t at = 0;
  while (at < rest.size() && IsBlank(rest[at])) ++at;
  size_t end = at;
  while (end < rest.size() && !IsBlank(rest[end])) ++end;
  const std::string_view word = rest.substr(at, end - at);
  rest.remove_prefix(end);
  return word;
}

// One line at a time. Kinds of reference: 0 position, 1 texture coordinate, 2 normal.
class Parser {
 public:
  explicit Parser(gen::TexturedMesh& mesh) : mesh_(mesh) {}

  // What is wrong with the line, or nullptr.
  const char* Line(std::string_view rest) {
    const std::string_view key = NextWord(rest);
    if (key == "v") return Numbers(rest, 3, 3, mesh_.xyz);
    if (key == "vt") return Numbers(rest, 1, 2, mesh_.uv);
    if (key == "vn") return Numbers(rest, 3, 3, mesh_.normal);
    if (key == "f") return Face(rest);
    if (key == "usemtl") return UseMaterial(NextWord(rest));
    return nullptr;
  }

  // References may name lines further on: checked here, at the end.
  const char* Finish() {
    if (max_[0] >= Count(0) || max_[1] >= Count(1) || max_[2] >= Count(2)) {
      return "a face names a line the file does not have";
    }
    if (!all_[1]) mesh_.vt.clear();
    if (!all_[2]) mesh_.vn.clear();
    if (!saw_usemtl_) {
      mesh_.material.clear();
      mesh_.materials.clear();
    }
    return nullptr;
  }

 private:
  int64_t Count(int kind) const {
    const size_t size[3] = {mesh_.xyz.size() / 3, mesh_.uv.size() / 2, mesh_.normal.size() / 3};
    return static_cast<int64_t>(size[kind]);
  }

  // `least` to `most` numbers, the missing ones 0; more are ignored (v's w).
  const char* Numbers(std::string_view rest, int least, int most, std::vector<double>& to) {
    for (int i = 0; i < most; ++i) {
      const std::string_view word = NextWord(rest);
      double x = 0;
      if (word.empty() && i >= least) {
        to.push_back(0);
        continue;
      }
      const auto r = std::from_chars(word.data(), word.data() + word.size(), x);
      if (r.ec != std::errc() || r.ptr != word.data() + word.size()) return "bad number";
      to.push_back(x);
    }
    return nullptr;
  }

  // A reference of `kind` at the front of `word`, taken off it.
  const char* Reference(std::string_view& word, int kind, uint32_t& index) {
    int64_t k = 0;
    const auto r = std::from_chars(word.data(), word.data() + word.size(), k);
    if (r.ec != std::errc() || k == 0) return "bad reference";
    const int64_t i = k > 0 ? k - 1 : Count(kind) + k;
    if (i < 0 || i >= UINT32_MAX) return "reference out of range";
    max_[kind] = std::max(max_[kind], i);
    index = static_cast<uint32_t>(i);
    word.remove_prefix(static_cast<size_t>(r.ptr - word.data()));
    return nullptr;
  }

  // "v", "v/t", "v//n", "v/t/n" or "v//": a missing part is UINT32_MAX.
  const char* Corner(std::string_view word, uint32_t (&ref)[3]) {
    ref[1] = ref[2] = UINT32_MAX;
    if (const char* wrong = Reference(word, 0, ref[0])) return wrong;
    for (int kind = 1; kind < 3 && !word.empty(); ++kind) {
      if (word[0] != '/') return "bad corner";
      word.remove_prefix(1);
      if (!word.empty() && word[0] != '/') {
        if (const char* wrong = Reference(word, kind, ref[kind])) return wrong;
      }
    }
    return word.empty() ? nullptr : "bad corner";
  }

  const char* Face(std::string_view rest) {
    poly_.clear();
    for (std::string_view word; !(word = NextWord(rest)).empty();) {
      uint32_t ref[3];
      if (const char* wrong = Corner(word, ref)) return wrong;
      poly_.insert(poly_.end(), ref, ref + 3);
    }
    for (size_t i = 2; i < poly_.size() / 3; ++i) {
      for (size_t c : {size_t{0}, i - 1, i}) AddCorner(&poly_[3 * c]);
      mesh_.material.push_back(Material());
    }
    return nullptr;
  }

  void AddCorner(const uint32_t* ref) {
    mesh_.v.push_back(ref[0]);
    all_[1] = all_[1] && ref[1] != UINT32_MAX;
    all_[2] = all_[2] && ref[2] != UINT32_MAX;
    mesh_.vt.push_back(ref[1]);
    mesh_.vn.push_back(ref[2]);
  }

  // The current material's number; "" before the first usemtl.
  uint32_t Material() {
    if (current_ == UINT32_MAX) current_ = Named("");
    return current_;
  }

  const char* UseMaterial(std::string_view name) {
    saw_usemtl_ = true;
    current_ = Named(name);
    return nullptr;
  }

  uint32_t Named(std::string_view name) {
    for (size_t i = 0; i < mesh_.materials.size(); ++i) {
      if (mesh_.materials[i] == name) return static_cast<uint32_t>(i);
    }
    mesh_.materials.emplace_back(name);
    return static_cast<uint32_t>(mesh_.materials.size() - 1);
  }

  gen::TexturedMesh& mesh_;
  std::vector<uint32_t> poly_;  // v, vt, vn per corner
  int64_t max_[3] = {-1, -1, -1};
  bool all_[3] = {true, true, true};
  bool saw_usemtl_ = false;
  uint32_t current_ = UINT32_MAX;
};

}  // namespace

bool ReadTexturedObj(const std::string& path, gen::TexturedMesh& mesh, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot open";
    return false;
  }
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  mesh = {};
  Parser parser(mesh);
  std::string_view rest = text;
  for (int64_t line = 1; !rest.empty(); ++line) {
    const size_t nl = std::min(rest.find('\n'), rest.size());
    if (const char* wrong = parser.Line(rest.substr(0, nl))) {
      error = path + ": line " + std::to_string(line) + ": " + wrong;
      return false;
    }
    rest.remove_prefix(std::min(nl + 1, rest.size()));
  }
  if (const char* wrong = parser.Finish()) {
    error = path + ": " + wrong;
    return false;
  }
  return true;
}

}  // namespace zelfin::bench
