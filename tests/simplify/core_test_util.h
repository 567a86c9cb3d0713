#pragma once
// Shared helpers of the simplification's core tests: a scratch folder, files
// written into it, and a progress sink that records every call.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/progress_sink.h"
#include "simplify/diet_geometry.h"
#include "simplify/diet_model.h"

namespace zelfin::test {

// A fresh folder under the test temp dir, removed with its contents at the end.
class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = ::testing::TempDir() + "zelfin_simplify_XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = tmpl + "/";
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

  std::string Write(const std::string& name, const std::string& content) const {
    const std::string p = path_ + name;
    std::ofstream out(p, std::ios::binary);
    out << content;
    return p;
  }

 private:
  std::string path_;
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every call as one string: "show", "hide", "caption:<text>", "pos:<n>", "msg".
class RecordingSink final : public ProgressSink {
 public:
  void Show() override { calls.push_back("show"); }
  void Hide() override { calls.push_back("hide"); }
  void SetCaption(const std::string& c) override { calls.push_back("caption:" + c); }
  void SetPosition(int p) override { calls.push_back("pos:" + std::to_string(p)); }
  void ProcessMessages() override { calls.push_back("msg"); }

  std::vector<int> Positions() const {
    std::vector<int> out;
    for (const std::string& c : calls) {
      if (c.rfind("pos:", 0) == 0) out.push_back(std::stoi(c.substr(4)));
    }
    return out;
  }
  int Count(const std::string& call) const {
    int n = 0;
    for (const std::string& c : calls) n += c == call ? 1 : 0;
    return n;
  }

  std::vector<std::string> calls;
};

// Repeats text n times.
inline std::string Repeat(const std::string& text, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += text;
  return out;
}

// Tables as the loader would leave them for these positions and triangles:
// every named vertex Used, every face Alive with its normal and area.
inline DietMesh MakeMesh(const std::vector<TDietVec>& positions,
                         const std::vector<std::array<int32_t, 3>>& triangles) {
  DietMesh mesh;
  mesh.DietVerts.resize(positions.size());
  for (size_t i = 0; i < positions.size(); ++i) {
    mesh.DietVerts[i].Pos = positions[i];
    mesh.DietVerts[i].SameAs = static_cast<int32_t>(i);
  }
  for (const auto& t : triangles) {
    TDietFace f;
    f.Alive = true;
    for (int c = 0; c < 3; ++c) {
      f.Verts[c] = t[c];
      mesh.DietVerts[t[c]].Used = true;
    }
    const TDietVec& A = positions[t[0]];
    const TDietVec& B = positions[t[1]];
    const TDietVec& C = positions[t[2]];
    f.Normal = TriangleNormal(A, B, C);
    f.Area = TriangleArea(A, B, C);
    mesh.DietFaces.push_back(f);
  }
  return mesh;
}

// A strip of n triangles over a gently bent grid of 2 x (n / 2 + 2) points.
inline DietMesh Strip(int n) {
  std::vector<TDietVec> pos;
  const int columns = n / 2 + 2;
  for (int c = 0; c < columns; ++c) {
    const double x = -1 + 2.0 * c / (columns - 1);
    pos.push_back({x, -0.5, 0.1 * x * x});
    pos.push_back({x, 0.5, -0.1 * x * x});
  }
  std::vector<std::array<int32_t, 3>> tris;
  for (int k = 0; static_cast<int>(tris.size()) < n; ++k) {
    const int32_t a = 2 * (k / 2);
    if (k % 2 == 0) {
      tris.push_back({a, a + 2, a + 1});
    } else {
      tris.push_back({a + 1, a + 2, a + 3});
    }
  }
  return MakeMesh(pos, tris);
}

}  // namespace zelfin::test
