#include "simplify/diet_attribute_reader.h"

#include <limits>

#include "platform/numbers.h"
#include "platform/obj_lexer.h"

namespace zelfin {

namespace {

enum class AttributeLine { kNone, kTexture, kNormal, kMaterial, kGroup, kSmoothing, kLibrary };

AttributeLine KindOfLine(std::string_view line) {
  if (IsKeywordLine(line, "vt")) return AttributeLine::kTexture;
  if (IsKeywordLine(line, "vn")) return AttributeLine::kNormal;
  if (IsKeywordLine(line, "usemtl")) return AttributeLine::kMaterial;
  if (IsKeywordLine(line, "g")) return AttributeLine::kGroup;
  if (IsKeywordLine(line, "s")) return AttributeLine::kSmoothing;
  if (IsKeywordLine(line, "mtllib")) return AttributeLine::kLibrary;
  return AttributeLine::kNone;
}

// Up to n numbers after the keyword; missing or unreadable ones read as 0,
// with commas taken for periods as on v lines.
template <size_t N>
std::array<double, N> Numbers(std::string_view line) {
  const std::vector<std::string> tokens = Tokenize(line);
  std::array<double, N> out{};
  for (size_t i = 0; i < N && i + 1 < tokens.size(); ++i) {
    if (ReadCleanCoordinate(tokens[i + 1], out[i]) != CoordinateRead::kNumber) out[i] = 0;
  }
  return out;
}

int32_t NameId(std::vector<std::string>& names, std::unordered_map<std::string, int32_t>& ids,
               std::string name) {
  const auto [it, fresh] = ids.try_emplace(name, static_cast<int32_t>(names.size()));
  if (fresh) names.push_back(std::move(name));
  return it->second;
}

constexpr int64_t kLargest = std::numeric_limits<int32_t>::max();

// Part `part` (1 vt, 2 vn) of a corner token as an index: 0 when absent or not
// a whole number, as the division reads it; beyond 32 bits the lowest int32,
// which names no line.
int32_t PartIndex(std::string_view token, int part) {
  size_t begin = 0;
  for (int k = 0; k < part; ++k) {
    const size_t slash = token.find('/', begin);
    if (slash == std::string_view::npos) return 0;
    begin = slash + 1;
  }
  const size_t end = token.find('/', begin);
  int64_t value = 0;
  if (!ParseInteger(token.substr(begin, end == std::string_view::npos ? end : end - begin),
                    value)) {
    return 0;
  }
  if (value > kLargest || value < -kLargest) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace

void AttributeReader::Line(std::string_view line) {
  switch (KindOfLine(line)) {
    case AttributeLine::kTexture: {
      const std::array<double, 2> uv = Numbers<2>(line);
      out_.uvs.push_back(uv);
      break;
    }
    case AttributeLine::kNormal: {
      const std::array<double, 3> n = Numbers<3>(line);
      out_.normals.push_back({n[0], n[1], n[2]});
      break;
    }
    case AttributeLine::kMaterial:
      material_ = NameId(out_.materials, material_ids_, NameOfLine(CleanLine(line), true));
      out_.any = true;
      break;
    case AttributeLine::kGroup:
      group_ = NameId(out_.groups, group_ids_, NameOfLine(CleanLine(line), false));
      out_.any = true;
      break;
    case AttributeLine::kSmoothing: {
      // "s 1", "s off": the value as written, so that the output says it alike.
      const std::string cleaned = CleanLine(line);
      smoothing_ = NameId(out_.smoothing, smoothing_ids_,
                          std::string(TrimObjLine(std::string_view(cleaned).substr(2))));
      out_.any = true;
      break;
    }
    case AttributeLine::kLibrary:
      out_.libraries.push_back(CleanLine(line));
      out_.any = true;
      break;
    case AttributeLine::kNone:
      break;
  }
}

void AttributeReader::Face(const std::vector<std::string_view>& tokens) {
  face_start_.push_back(words_.size());
  words_.insert(words_.end(), {material_, group_, static_cast<int32_t>(out_.uvs.size()),
                               static_cast<int32_t>(out_.normals.size()), smoothing_});
  for (size_t r = 1; r < tokens.size(); ++r) {
    const int32_t vt = PartIndex(tokens[r], 1);
    const int32_t vn = PartIndex(tokens[r], 2);
    words_.insert(words_.end(), {vt, vn, (vt != 0 ? 1 : 0) | (vn != 0 ? 2 : 0)});
    out_.any = out_.any || vt != 0 || vn != 0;
  }
}

bool AttributeReader::Resolve(int64_t face, BadReference& bad) {
  const size_t start = face_start_[static_cast<size_t>(face)];
  const size_t end =
      static_cast<size_t>(face) + 1 < face_start_.size() ? face_start_[face + 1] : words_.size();
  for (size_t w = start + kHead, r = 0; w < end; w += kCorner, ++r) {
    for (int kind = 1; kind <= 2; ++kind) {
      int32_t& word = words_[w + static_cast<size_t>(kind) - 1];
      const int64_t index = word;
      const uint64_t before = static_cast<uint32_t>(words_[start + 1 + static_cast<size_t>(kind)]);
      const uint64_t total = kind == 1 ? out_.uvs.size() : out_.normals.size();
      if (index == 0) {
        word = -1;
        continue;
      }
      const int64_t line = index > 0 ? index - 1 : static_cast<int64_t>(before) + index;
      const bool names_a_line = index > 0 ? static_cast<uint64_t>(index) <= total : line >= 0;
      if (!names_a_line) {
        bad = {r, kind, index, before, total};
        return false;
      }
      word = static_cast<int32_t>(line);
    }
  }
  return true;
}

void AttributeReader::AddTriangle(int64_t face, size_t k) {
  const size_t start = face_start_[static_cast<size_t>(face)];
  const size_t corners[3] = {0, k - 1, k};
  std::array<int32_t, 3> uv{}, normal{};
  std::array<uint8_t, 3> parts{};
  for (int c = 0; c < 3; ++c) {
    const size_t w = start + kHead + kCorner * corners[c];
    uv[static_cast<size_t>(c)] = words_[w];
    normal[static_cast<size_t>(c)] = words_[w + 1];
    parts[static_cast<size_t>(c)] = static_cast<uint8_t>(words_[w + 2]);
  }
  out_.tri_uv.push_back(uv);
  out_.tri_normal.push_back(normal);
  out_.tri_parts.push_back(parts);
  out_.tri_material.push_back(words_[start]);
  out_.tri_group.push_back(words_[start + 1]);
  out_.tri_smoothing.push_back(words_[start + 4]);
}

}  // namespace zelfin
