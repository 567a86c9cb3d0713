#include "simplify/diet_attribute_reader.h"

#include <limits>

#include "platform/huge_pages.h"
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
// with commas taken for periods as on v lines. tokens and scratch: room kept
// from line to line (a textured model has millions of vt and vn lines).
template <size_t N>
std::array<double, N> Numbers(std::string_view line, std::vector<std::string_view>& tokens,
                              std::string& scratch) {
  SplitObjTokens(line, tokens, scratch);
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

// A vt or vn part of a corner token as an index: 0 when empty or not a whole
// number, as the division reads it; beyond 32 bits the lowest int32, which
// names no line.
int32_t PartIndex(std::string_view part) {
  int64_t value = 0;
  if (!ParseInteger(part, value)) return 0;
  if (value > kLargest || value < -kLargest) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// The vt and vn parts of a corner token "v/vt/vn" (0 where absent): the
// texts after its first and its second slash, each up to the next one.
void CornerParts(std::string_view token, int32_t& vt, int32_t& vn) {
  constexpr size_t kNone = std::string_view::npos;
  vt = vn = 0;
  const size_t first = token.find('/');
  if (first == kNone) return;
  const size_t second = token.find('/', first + 1);
  vt = PartIndex(token.substr(first + 1, second == kNone ? kNone : second - first - 1));
  if (second == kNone) return;
  const size_t third = token.find('/', second + 1);
  vn = PartIndex(token.substr(second + 1, third == kNone ? kNone : third - second - 1));
}

}  // namespace

void AttributeReader::ReserveTriangles(size_t n) {
  ReserveHuge(out_.tri_uv, n);
  ReserveHuge(out_.tri_normal, n);
  ReserveHuge(out_.tri_parts, n);
  ReserveHuge(out_.tri_material, n);
  ReserveHuge(out_.tri_group, n);
  ReserveHuge(out_.tri_smoothing, n);
}

void AttributeReader::StartLater() {
  material_ = group_ = smoothing_ = kFromBefore;
}

void AttributeReader::StorePlainFaces() {
  size_t words = 0;
  for (const uint32_t corners : plain_corners_) words += kHead + kCorner * corners;
  GrowHuge(face_start_, plain_corners_.size());
  GrowHuge(words_, words);
  for (const uint32_t corners : plain_corners_) {
    face_start_.push_back(words_.size());
    words_.insert(words_.end(), {material_, group_, static_cast<int32_t>(out_.uvs.size()),
                                 static_cast<int32_t>(out_.normals.size()), smoothing_});
    words_.resize(words_.size() + kCorner * corners, 0);
  }
  plain_corners_ = std::vector<uint32_t>();
}

void AttributeReader::Join(AttributeReader&& later) {
  // Two pieces with nothing to keep stay plain (neither has stored a face);
  // otherwise the faces of both are stored, later's plain ones with the
  // names in force before it.
  if (out_.any || later.out_.any) {
    StorePlainFaces();
    later.StorePlainFaces();
  } else {
    GrowHuge(plain_corners_, later.plain_corners_.size());
    plain_corners_.insert(plain_corners_.end(), later.plain_corners_.begin(),
                          later.plain_corners_.end());
  }
  // later's names by first appearance become ids here, new ones after ours.
  const auto ids = [](const std::vector<std::string>& names, std::vector<std::string>& into,
                      std::unordered_map<std::string, int32_t>& id_of) {
    std::vector<int32_t> out;
    for (const std::string& name : names) out.push_back(NameId(into, id_of, name));
    return out;
  };
  const std::vector<int32_t> materials = ids(later.out_.materials, out_.materials, material_ids_);
  const std::vector<int32_t> groups = ids(later.out_.groups, out_.groups, group_ids_);
  const std::vector<int32_t> smoothing = ids(later.out_.smoothing, out_.smoothing, smoothing_ids_);
  const auto in_force = [](int32_t id, const std::vector<int32_t>& map, int32_t before) {
    return id == kFromBefore ? before : id < 0 ? id : map[static_cast<size_t>(id)];
  };
  const int32_t uvs_before = static_cast<int32_t>(out_.uvs.size());
  const int32_t normals_before = static_cast<int32_t>(out_.normals.size());
  const size_t shift = words_.size();
  GrowHuge(face_start_, later.face_start_.size());
  GrowHuge(words_, later.words_.size());
  for (size_t f = 0; f < later.face_start_.size(); ++f) {
    const size_t start = later.face_start_[f];
    int32_t* head = &later.words_[start];
    head[0] = in_force(head[0], materials, material_);
    head[1] = in_force(head[1], groups, group_);
    head[2] += uvs_before;
    head[3] += normals_before;
    head[4] = in_force(head[4], smoothing, smoothing_);
    face_start_.push_back(start + shift);
  }
  words_.insert(words_.end(), later.words_.begin(), later.words_.end());
  material_ = in_force(later.material_, materials, material_);
  group_ = in_force(later.group_, groups, group_);
  smoothing_ = in_force(later.smoothing_, smoothing, smoothing_);
  out_.any = out_.any || later.out_.any;
  const auto append = [](auto& to, auto& from) {
    GrowHuge(to, from.size());
    to.insert(to.end(), from.begin(), from.end());
  };
  append(out_.libraries, later.out_.libraries);
  append(out_.uvs, later.out_.uvs);
  append(out_.normals, later.out_.normals);
}

void AttributeReader::Line(std::string_view line) {
  const AttributeLine kind = KindOfLine(line);
  // The plain faces take the names in force before this line.
  if (!out_.any && kind != AttributeLine::kNone && kind != AttributeLine::kTexture &&
      kind != AttributeLine::kNormal) {
    StorePlainFaces();
  }
  switch (kind) {
    case AttributeLine::kTexture: {
      const std::array<double, 2> uv = Numbers<2>(line, tokens_, scratch_);
      GrowHuge(out_.uvs, 1);
      out_.uvs.push_back(uv);
      break;
    }
    case AttributeLine::kNormal: {
      const std::array<double, 3> n = Numbers<3>(line, tokens_, scratch_);
      GrowHuge(out_.normals, 1);
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
  if (!out_.any) {
    bool plain = true;
    for (size_t r = 1; r < tokens.size() && plain; ++r) {
      int32_t vt = 0, vn = 0;
      CornerParts(tokens[r], vt, vn);
      plain = vt == 0 && vn == 0;
    }
    if (plain) {
      GrowHuge(plain_corners_, 1);
      plain_corners_.push_back(static_cast<uint32_t>(tokens.size() - 1));
      return;
    }
    StorePlainFaces();
  }
  const size_t start = words_.size();
  GrowHuge(face_start_, 1);
  face_start_.push_back(start);
  GrowHuge(words_, kHead + kCorner * (tokens.size() - 1));
  words_.resize(start + kHead + kCorner * (tokens.size() - 1));
  int32_t* w = words_.data() + start;
  *w++ = material_;
  *w++ = group_;
  *w++ = static_cast<int32_t>(out_.uvs.size());
  *w++ = static_cast<int32_t>(out_.normals.size());
  *w++ = smoothing_;
  bool any = false;
  for (size_t r = 1; r < tokens.size(); ++r, w += kCorner) {
    CornerParts(tokens[r], w[0], w[1]);
    w[2] = (w[0] != 0 ? 1 : 0) | (w[1] != 0 ? 2 : 0);
    any = any || w[2] != 0;
  }
  out_.any = out_.any || any;
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
