#include "division/obj_model.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <unordered_map>

#include "division/face_corners.h"
#include "platform/beside.h"
#include "platform/errors.h"

namespace zelfin {
namespace {

constexpr uint32_t kNoName = std::numeric_limits<uint32_t>::max();

// Below this a text is read in one piece: a thread costs more than it saves.
constexpr size_t kLeastSplitText = size_t{4} << 20;

// The kind of a v, vt or vn line whose keyword stands at q (-1 for none),
// and the keyword's length.
inline int ElementKind(const char* q, const char* e, int& length) {
  if (q + 1 < e && IsKeywordBlank(q[1])) {
    length = 1;
    return kVertexPart;
  }
  if (q + 2 < e && (q[1] == 't' || q[1] == 'n') && IsKeywordBlank(q[2])) {
    length = 2;
    return q[1] == 't' ? kTexturePart : kNormalPart;
  }
  return -1;
}

inline bool IsNameLine(const char* q, const char* e, bool material) {
  return material ? *q == 'u' && IsKeywordLine(q, e, "usemtl") : IsKeywordLine(q, e, "g");
}

// One walk over the lines of text[begin, end), telling the visitor about every
// line (Line), every v, vt and vn line (Element), f line (Face) and name line
// of the mode (Name), judged by their cleaned form. Lines are classified by
// their first bytes; the walk looks at the rest of a line only to find its end.
template <class Visitor>
void WalkLines(std::string_view text, size_t begin, size_t end, bool material, Visitor& visitor) {
  const char* const base = text.data();
  const char* const e = base + end;
  const char* p = base + begin;
  while (p < e) {
    visitor.Line();
    const char* q = p;
    while (q < e && IsBlank(*q) && !IsLineEnd(*q)) ++q;
    const char* stop = nullptr;
    int length = 0;
    const char c = q < e ? *q : '\0';
    if (c == 'v') {
      const int kind = ElementKind(q, e, length);
      if (kind >= 0 && HasContent(q + length + 1, e)) {
        bool tab = false;
        stop = FindLineEnd(q + length, e, tab);
        const char* last = stop;
        while (IsBlank(last[-1])) --last;
        visitor.Element(
            kind, MakeLineRef(static_cast<uint64_t>(q - base), static_cast<uint64_t>(last - q)),
            tab);
      }
    } else if (c == 'f') {
      if (IsKeywordLine(q, e, "f")) stop = visitor.Face(q, e);
    } else if (q < e && IsNameLine(q, e, material)) {
      stop = FindLineEnd(q, e);
      const char* last = stop;
      while (IsBlank(last[-1])) --last;
      visitor.Name(std::string_view(q, static_cast<size_t>(last - q)));
    }
    if (stop == nullptr) stop = FindLineEnd(q, e);
    p = stop;
    if (p < e) p += (*p == '\r' && p + 1 < e && p[1] == '\n') ? 2 : 1;
  }
}

// What the walk over one piece of the text finds. Names are kept as their raw
// lines, numbered by first appearance in the piece, and turned into names and
// sort keys later on the calling thread (the collator is not shared). Aligned
// to a cache line: two threads filling neighbours must not share one.
struct alignas(64) Piece {
  std::vector<LineRef> lines[3];
  bool tabs = false;
  std::vector<std::string_view> raw_names;
  std::unordered_map<std::string_view, uint32_t> id_of_raw;
  std::vector<std::vector<LineRef>> faces;  // per raw name of the piece
  std::vector<LineRef> leading_faces;       // before the piece's first name line
  uint32_t current = kNoName;
  std::string_view last_raw;
  // For the cheap check of references: the highest index of each kind, and
  // the least index + lines of its kind before the face within the piece.
  int64_t highest[3] = {0, 0, 0};
  int64_t lowest_reach[3] = {0, 0, 0};
};

// Fills a Piece, beating the heartbeat of the thread it walks on.
struct PieceWalker {
  Piece& piece;
  const char* base;
  Heartbeat& heartbeat;
  std::string scratch;

  void Line() { heartbeat.Beat(); }

  void Element(int kind, LineRef ref, bool tab) {
    piece.lines[kind].push_back(ref);
    piece.tabs = piece.tabs || tab;
  }

  const char* Face(const char* line, const char* e) {
    const int64_t before[3] = {static_cast<int64_t>(piece.lines[0].size()),
                               static_cast<int64_t>(piece.lines[1].size()),
                               static_cast<int64_t>(piece.lines[2].size())};
    const char* end = ForEachCorner(line, e, scratch, [&](const Corner& corner) {
      for (int k = 0; k < corner.parts; ++k) {
        const int64_t index = corner.index[k];
        if (index > piece.highest[k]) {
          piece.highest[k] = index;
        } else if (index < 0) {
          piece.lowest_reach[k] = std::min(piece.lowest_reach[k], index + before[k]);
        }
      }
    });
    const char* last = end;
    while (IsBlank(last[-1])) --last;
    const LineRef ref =
        MakeLineRef(static_cast<uint64_t>(line - base), static_cast<uint64_t>(last - line));
    (piece.current == kNoName ? piece.leading_faces : piece.faces[piece.current]).push_back(ref);
    return end;
  }

  void Name(std::string_view raw) {
    if (piece.current != kNoName && raw == piece.last_raw) return;
    const auto [found, added] =
        piece.id_of_raw.try_emplace(raw, static_cast<uint32_t>(piece.raw_names.size()));
    if (added) {
      piece.raw_names.push_back(raw);
      piece.faces.emplace_back();
    }
    piece.last_raw = raw;
    piece.current = found->second;
  }
};

// The second, rare walk: finds the first face in file order that refers to a
// missing line and raises its message.
struct Validator {
  const ObjModel& model;
  const std::string& path;
  Heartbeat& heartbeat;
  uint64_t line_number = 0;
  uint64_t before[3] = {0, 0, 0};
  std::string scratch;

  void Line() {
    ++line_number;
    heartbeat.Beat();
  }
  void Element(int kind, LineRef, bool) { ++before[kind]; }
  void Name(std::string_view) {}

  const char* Face(const char* line, const char* e) {
    const uint64_t total[3] = {model.VLines.size(), model.VTLines.size(), model.VNLines.size()};
    return ForEachCorner(line, e, scratch, [&](const Corner& corner) {
      for (int k = 0; k < corner.parts; ++k) {
        const int64_t index = corner.index[k];
        if (index != 0 && !IndexInRange(index, before[k], total[k])) {
          throw ZelfinError(BadObjReferenceMessage(path, line_number, k, corner.text[k], index,
                                                   before[k], total[k]));
        }
      }
    });
  }
};

// The names of both pieces in one numbering by first appearance in the file;
// case variants (equal sort keys) share the number of the form met first.
struct NameTable {
  const NameCollator& collator;
  bool material;
  const std::string& path;
  std::vector<std::string> names;
  std::vector<std::string> keys;
  std::vector<std::vector<LineRef>> faces;
  std::vector<bool> merged;  // faces gathered from several lists: to be put in file order
  std::unordered_map<std::string_view, uint32_t> id_of_raw;
  std::unordered_map<std::string, uint32_t> id_of_key;

  uint32_t IdOf(std::string_view raw) {
    if (const auto found = id_of_raw.find(raw); found != id_of_raw.end()) return found->second;
    std::string name = NameOfLine(CleanLine(raw), material);
    std::string key = collator.SortKey(name);
    uint32_t id;
    if (const auto same = id_of_key.find(key); same != id_of_key.end()) {
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
      merged.push_back(false);
    }
    id_of_raw.emplace(raw, id);
    return id;
  }

  void AddFaces(uint32_t id, std::vector<LineRef>& list) {
    if (list.empty()) return;
    std::vector<LineRef>& to = faces[id];
    // Lists come piece by piece; only a name's second raw form in one piece
    // brings faces that belong before some already gathered.
    if (!to.empty() && list.front() < to.back()) merged[id] = true;
    if (list.capacity() - list.size() >= to.size()) {
      // The later list has room for the earlier one: no third list, whose
      // memory would stay with the process.
      list.insert(list.begin(), to.begin(), to.end());
      to = std::move(list);
    } else {
      to.insert(to.end(), list.begin(), list.end());
    }
    list = {};
  }
};

// Numbers the pieces' names in one table and gathers each name's faces. Faces
// at the start of the second piece belong to the name in force at the end of
// the first. Returns the faces that stand before any name line.
std::vector<LineRef> GatherNames(Piece (&pieces)[2], NameTable& table) {
  std::vector<LineRef> before_any_name = std::move(pieces[0].leading_faces);
  uint32_t current = kNoName;
  for (Piece& piece : pieces) {
    std::vector<uint32_t> ids;
    ids.reserve(piece.raw_names.size());
    for (const std::string_view raw : piece.raw_names) ids.push_back(table.IdOf(raw));
    if (&piece != &pieces[0]) {
      if (current == kNoName) {
        before_any_name.insert(before_any_name.end(), piece.leading_faces.begin(),
                               piece.leading_faces.end());
      } else {
        table.AddFaces(current, piece.leading_faces);
      }
    }
    for (size_t i = 0; i < ids.size(); ++i) table.AddFaces(ids[i], piece.faces[i]);
    if (piece.current != kNoName) current = ids[piece.current];
  }
  // Two lists of one name from the same piece interleave in the file.
  for (size_t id = 0; id < table.faces.size(); ++id) {
    if (table.merged[id]) std::sort(table.faces[id].begin(), table.faces[id].end());
  }
  return before_any_name;
}

void GatherLines(Piece (&pieces)[2], ObjModel& model) {
  std::vector<LineRef>* const to[3] = {&model.VLines, &model.VTLines, &model.VNLines};
  for (int k = 0; k < 3; ++k) {
    *to[k] = std::move(pieces[0].lines[k]);
    to[k]->insert(to[k]->end(), pieces[1].lines[k].begin(), pieces[1].lines[k].end());
    pieces[1].lines[k] = {};
  }
  model.element_tabs = pieces[0].tabs || pieces[1].tabs;
}

// Whether any face may refer to a missing line: cheap, from the pieces' notes.
bool MayReferToMissingLines(const Piece (&pieces)[2]) {
  for (int k = 0; k < 3; ++k) {
    const auto first = static_cast<int64_t>(pieces[0].lines[k].size());
    const auto total = first + static_cast<int64_t>(pieces[1].lines[k].size());
    if (std::max(pieces[0].highest[k], pieces[1].highest[k]) > total) return true;
    if (pieces[0].lowest_reach[k] < 0 || pieces[1].lowest_reach[k] < -first) return true;
  }
  return false;
}

// Puts the names in the collator's order, each with its faces.
void SortNames(NameTable& table, std::vector<LineRef> before_any_name, ObjModel& model) {
  std::vector<uint32_t> order(table.names.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(),
            [&](uint32_t a, uint32_t b) { return table.keys[a] < table.keys[b]; });
  model.ElementNames.reserve(order.size());
  model.FaceLines.reserve(order.size());
  for (const uint32_t id : order) {
    model.ElementNames.push_back(std::move(table.names[id]));
    model.FaceLines.push_back(std::move(table.faces[id]));
  }
  // Faces before the first name line belong to the first name in sorted order,
  // and stand before all of its other faces in the file.
  if (!before_any_name.empty()) {
    std::vector<LineRef>& first = model.FaceLines[0];
    before_any_name.insert(before_any_name.end(), first.begin(), first.end());
    first = std::move(before_any_name);
  }
}

// Walks both pieces, the second on a helper thread where one can be had.
void WalkPieces(std::string_view text, size_t split, bool material, Heartbeat& heartbeat,
                Piece (&pieces)[2]) {
  const size_t middle = LineStartFrom(text, split == 0 ? text.size() : split);
  const auto walk = [&](size_t begin, size_t end, Piece& piece, const Lane& lane) {
    PieceWalker walker{piece, text.data(), lane.heartbeat, {}};
    WalkLines(text, begin, end, material, walker);
  };
  if (middle == text.size()) return walk(0, middle, pieces[0], Lane{heartbeat, true});
  RunBeside(
      heartbeat, [&](const Lane& lane) { walk(0, middle, pieces[0], lane); },
      [&](const Lane& lane) { walk(middle, text.size(), pieces[1], lane); });
}

}  // namespace

std::string LineAt(const ObjModel& model, LineRef ref) {
  std::string line(RawLineAt(model, ref));
  std::replace(line.begin(), line.end(), '\t', ' ');
  return line;
}

uint64_t LinesBefore(const std::vector<LineRef>& lines, uint64_t offset) {
  const LineRef first_at_or_after = MakeLineRef(offset, 0);
  return static_cast<uint64_t>(std::lower_bound(lines.begin(), lines.end(), first_at_or_after) -
                               lines.begin());
}

size_t SplitPointFor(size_t text_size) {
  return text_size < kLeastSplitText ? 0 : text_size / 2;
}

ObjModel ParseOBJ(FileText text, int32_t DivIndex, const NameCollator& collator,
                  const std::string& path, Heartbeat& heartbeat, size_t split) {
  if (text.text().size() >= kMaxTextSize) {
    throw ZelfinError("The file " + Quoted(path) + " is too large to be divided.");
  }
  const bool material = DivIndex == kDivMaterial;
  Piece pieces[2];
  WalkPieces(text.text(), split, material, heartbeat, pieces);
  text.CheckUnchanged();
  NameTable table{collator, material, path, {}, {}, {}, {}, {}, {}};
  std::vector<LineRef> before_any_name = GatherNames(pieces, table);
  if (table.names.empty()) return ObjModel{};  // without names nothing is stored

  const bool suspect = MayReferToMissingLines(pieces);
  ObjModel model;
  model.source = std::move(text);
  GatherLines(pieces, model);
  for (int k = 0; k < 3; ++k) {
    // New numbers are 32-bit; a file with more lines than that cannot be renumbered.
    if (LinesOfKind(model, k).size() >= std::numeric_limits<uint32_t>::max()) {
      throw ZelfinError("The file " + Quoted(path) + " has too many " + kObjKindWords[k] +
                        " lines.");
    }
  }
  if (suspect) {
    Validator validator{model, path, heartbeat, 0, {0, 0, 0}, {}};
    const std::string_view all = model.source.text();
    WalkLines(all, 0, all.size(), material, validator);
  }
  SortNames(table, std::move(before_any_name), model);
  return model;
}

ObjModel ParseOBJ(std::string text, int32_t DivIndex, const NameCollator& collator,
                  const std::string& path) {
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  const size_t split = SplitPointFor(text.size());
  return ParseOBJ(FileText::FromString(std::move(text)), DivIndex, collator, path, heartbeat,
                  split);
}

ObjModel LoadOBJ(const std::string& path, int32_t DivIndex, Heartbeat& heartbeat) {
  FileText text(path);
  const NameCollator collator(UserCollationLocale());
  const size_t split = SplitPointFor(text.text().size());
  return ParseOBJ(std::move(text), DivIndex, collator, path, heartbeat, split);
}

ObjModel LoadOBJ(const std::string& path, int32_t DivIndex) {
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  return LoadOBJ(path, DivIndex, heartbeat);
}

}  // namespace zelfin
