#include "division/obj_model.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <unordered_map>

#include "division/face_corners.h"
#include "platform/errors.h"
#include "platform/text_file.h"

namespace zelfin {
namespace {

constexpr uint32_t kNoName = std::numeric_limits<uint32_t>::max();

const char* const kKindWords[3] = {"vertex", "texture coordinate", "normal"};

inline bool IsKeywordSpace(const char* p, const char* e) {
  return p < e && (*p == ' ' || *p == '\t');
}

// After a keyword and its space, a cleaned line still holds something exactly
// when a non-blank character follows before the line ends.
inline bool HasContent(const char* p, const char* e) {
  while (p < e && IsBlank(*p) && !IsLineEnd(*p)) ++p;
  return p < e && !IsLineEnd(*p);
}

inline char* LineEndFrom(char* p, char* e) {
  while (p < e && !IsLineEnd(*p)) ++p;
  return p;
}

// One walk over the lines of text, telling the visitor about every v, vt, vn
// and f line and every name line of the mode, judged by their cleaned form.
// Tabs of v, vt and vn lines are turned into spaces on the way.
template <class Visitor>
void WalkLines(std::string& text, bool material, Visitor& visitor) {
  char* const base = text.data();
  char* const e = base + text.size();
  char* p = base;
  uint64_t line_number = 0;
  while (p < e) {
    ++line_number;
    char* q = p;
    while (q < e && IsBlank(*q) && !IsLineEnd(*q)) ++q;
    char* end = nullptr;
    const char c = q < e ? *q : '\0';
    if (c == 'v') {
      int kind = -1;
      int length = 0;
      if (IsKeywordSpace(q + 1, e)) {
        kind = kVertexPart;
        length = 1;
      } else if (q + 1 < e && (q[1] == 't' || q[1] == 'n') && IsKeywordSpace(q + 2, e)) {
        kind = q[1] == 't' ? kTexturePart : kNormalPart;
        length = 2;
      }
      if (kind >= 0 && HasContent(q + length + 1, e)) {
        char* r = q + length;
        char* last = q;  // the last non-blank character
        for (; r < e && !IsLineEnd(*r); ++r) {
          if (*r == '\t') *r = ' ';
          if (!IsBlank(*r)) last = r;
        }
        visitor.Element(kind, MakeLineRef(static_cast<uint64_t>(q - base),
                                          static_cast<uint64_t>(last + 1 - q)));
        end = r;
      }
    } else if (c == 'f') {
      if (IsKeywordSpace(q + 1, e) && HasContent(q + 2, e)) {
        end = const_cast<char*>(visitor.Face(q, static_cast<const char*>(e), line_number));
      }
    } else if (material ? (c == 'u' && e - q > 6 && std::string_view(q, 6) == "usemtl" &&
                           IsKeywordSpace(q + 6, e) && HasContent(q + 7, e))
                        : (c == 'g' && IsKeywordSpace(q + 1, e) && HasContent(q + 2, e))) {
      end = LineEndFrom(q, e);
      char* trimmed = end;
      while (trimmed > q && IsBlank(trimmed[-1])) --trimmed;
      visitor.Name(std::string_view(q, static_cast<size_t>(trimmed - q)));
    }
    if (end == nullptr) end = LineEndFrom(q, e);
    p = end;
    if (p < e) p += (*p == '\r' && p + 1 < e && p[1] == '\n') ? 2 : 1;
  }
}

std::string LinesPhrase(uint64_t count, const char* kind) {
  if (count == 0) return std::string("no ") + kind + " lines";
  return std::to_string(count) + " " + kind + (count == 1 ? " line" : " lines");
}

[[noreturn]] void RaiseBadReference(const std::string& path, uint64_t line_number, int kind,
                                    std::string_view written, int64_t index, uint64_t before,
                                    uint64_t total) {
  std::string message = "Face on line " + std::to_string(line_number) + " of " + Quoted(path) +
                        " refers to " + kKindWords[kind] + " " + ForMessage(written) + ", but ";
  if (index > 0) {
    message += "the file has " + std::string(total == 0 ? "" : "only ") +
               LinesPhrase(total, kKindWords[kind]) + ".";
  } else if (before == 0) {
    message += std::string("no ") + kKindWords[kind] + " line stands before it.";
  } else {
    message += "only " + LinesPhrase(before, kKindWords[kind]) +
               (before == 1 ? " stands" : " stand") + " before it.";
  }
  throw ZelfinError(message);
}

// The first pass: stores lines and faces, collects names, and notes cheaply
// whether any face might refer to a line that does not exist.
struct Loader {
  Loader(ObjModel& model_in, const NameCollator& collator_in, bool material_in,
         const std::string& path_in)
      : model(model_in), collator(collator_in), material(material_in), path(path_in) {}

  ObjModel& model;
  const NameCollator& collator;
  bool material;
  const std::string& path;

  std::vector<std::string> names;  // by first appearance
  std::vector<std::string> keys;
  std::vector<std::vector<LineRef>> faces;
  std::vector<LineRef> faces_before_any_name;
  std::unordered_map<std::string, uint32_t> id_of_raw;
  std::unordered_map<std::string, uint32_t> id_of_key;
  std::string_view last_raw;
  uint32_t last_id = kNoName;
  uint32_t current = kNoName;

  int64_t highest[3] = {0, 0, 0};
  bool relative_fault = false;
  std::string scratch;

  void Element(int kind, uint64_t offset) {
    (kind == kVertexPart    ? model.VLines
     : kind == kTexturePart ? model.VTLines
                            : model.VNLines)
        .push_back(offset);
  }

  const char* Face(const char* line, const char* e, uint64_t) {
    const int64_t before[3] = {static_cast<int64_t>(model.VLines.size()),
                               static_cast<int64_t>(model.VTLines.size()),
                               static_cast<int64_t>(model.VNLines.size())};
    const char* end = ForEachCorner(line, e, scratch, [&](const Corner& corner) {
      for (int k = 0; k < corner.parts; ++k) {
        const int64_t index = corner.index[k];
        if (index > highest[k]) {
          highest[k] = index;
        } else if (index < -before[k]) {
          relative_fault = true;
        }
      }
    });
    const char* last = end;
    while (last > line && IsBlank(last[-1])) --last;
    const LineRef ref = MakeLineRef(static_cast<uint64_t>(line - model.text.data()),
                                    static_cast<uint64_t>(last - line));
    (current == kNoName ? faces_before_any_name : faces[current]).push_back(ref);
    return end;
  }

  void Name(std::string_view raw) {
    if (last_id != kNoName && raw == last_raw) {
      current = last_id;
      return;
    }
    std::string raw_key(raw);
    auto found = id_of_raw.find(raw_key);
    uint32_t id;
    if (found != id_of_raw.end()) {
      id = found->second;
    } else {
      std::string name = NameOfLine(CleanLine(raw), material);
      std::string key = collator.SortKey(name);
      auto same = id_of_key.find(key);
      if (same != id_of_key.end()) {
        id = same->second;  // the form met first stands for all its case variants
      } else {
        // Names are numbered in 32 bits, kNoName kept apart.
        if (names.size() >= kNoName) {
          throw ZelfinError("The file " + Quoted(path) + " has too many names.");
        }
        id = static_cast<uint32_t>(names.size());
        id_of_key.emplace(key, id);
        names.push_back(std::move(name));
        keys.push_back(std::move(key));
        faces.emplace_back();
      }
      id_of_raw.emplace(std::move(raw_key), id);
    }
    last_raw = raw;
    last_id = id;
    current = id;
  }
};

// The second, rare pass: finds the first face in file order that refers to a
// missing line and raises its message.
struct Validator {
  Validator(const ObjModel& model_in, const std::string& path_in)
      : model(model_in), path(path_in) {}

  const ObjModel& model;
  const std::string& path;
  uint64_t before[3] = {0, 0, 0};
  std::string scratch;

  void Element(int kind, LineRef) { ++before[kind]; }
  void Name(std::string_view) {}

  const char* Face(const char* line, const char* e, uint64_t line_number) {
    const uint64_t total[3] = {model.VLines.size(), model.VTLines.size(), model.VNLines.size()};
    return ForEachCorner(line, e, scratch, [&](const Corner& corner) {
      for (int k = 0; k < corner.parts; ++k) {
        const int64_t index = corner.index[k];
        if (index != 0 && !IndexInRange(index, before[k], total[k])) {
          RaiseBadReference(path, line_number, k, corner.text[k], index, before[k], total[k]);
        }
      }
    });
  }
};

}  // namespace

const std::vector<LineRef>& LinesOfKind(const ObjModel& model, int kind) {
  return kind == kVertexPart ? model.VLines : kind == kTexturePart ? model.VTLines : model.VNLines;
}

uint64_t LinesBefore(const std::vector<LineRef>& lines, uint64_t offset) {
  const LineRef first_at_or_after = MakeLineRef(offset, 0);
  return static_cast<uint64_t>(std::lower_bound(lines.begin(), lines.end(), first_at_or_after) -
                               lines.begin());
}

ObjModel ParseOBJ(std::string text, int32_t DivIndex, const NameCollator& collator,
                  const std::string& path) {
  if (text.size() >= kMaxTextSize) {
    throw ZelfinError("The file " + Quoted(path) + " is too large to be divided.");
  }
  ObjModel model;
  model.text = std::move(text);
  const bool material = DivIndex == kDivMaterial;
  Loader loader(model, collator, material, path);
  WalkLines(model.text, material, loader);

  if (loader.names.empty()) return ObjModel{};  // without names nothing is stored

  for (int k = 0; k < 3; ++k) {
    // New numbers are 32-bit; a file with more lines than that cannot be renumbered.
    if (LinesOfKind(model, k).size() >= std::numeric_limits<uint32_t>::max()) {
      throw ZelfinError("The file " + Quoted(path) + " has too many " + kKindWords[k] + " lines.");
    }
  }
  bool suspect = loader.relative_fault;
  for (int k = 0; k < 3; ++k) {
    suspect = suspect || static_cast<uint64_t>(loader.highest[k]) > LinesOfKind(model, k).size();
  }
  if (suspect) {
    Validator validator(model, path);
    WalkLines(model.text, material, validator);
  }

  std::vector<uint32_t> order(loader.names.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(),
            [&](uint32_t a, uint32_t b) { return loader.keys[a] < loader.keys[b]; });
  model.ElementNames.reserve(order.size());
  model.FaceLines.reserve(order.size());
  for (const uint32_t id : order) {
    model.ElementNames.push_back(std::move(loader.names[id]));
    model.FaceLines.push_back(std::move(loader.faces[id]));
  }
  // Faces before the first name line belong to the first name in sorted order,
  // and stand before all of its other faces in the file.
  if (!loader.faces_before_any_name.empty()) {
    std::vector<LineRef>& first = model.FaceLines[0];
    loader.faces_before_any_name.insert(loader.faces_before_any_name.end(), first.begin(),
                                        first.end());
    first = std::move(loader.faces_before_any_name);
  }
  return model;
}

ObjModel LoadOBJ(const std::string& path, int32_t DivIndex) {
  std::string text = ReadTextFile(path);
  const NameCollator collator(UserCollationLocale());
  return ParseOBJ(std::move(text), DivIndex, collator, path);
}

}  // namespace zelfin
