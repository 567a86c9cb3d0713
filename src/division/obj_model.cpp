#include "division/obj_model.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <unordered_map>

#include "division/face_corners.h"
#include "platform/beside.h"
#include "platform/errors.h"
#include "platform/huge_pages.h"

namespace zelfin {
namespace {

constexpr uint32_t kNoName = std::numeric_limits<uint32_t>::max();

// Below this a text is read in one piece: a thread costs more than it saves.
constexpr size_t kLeastSplitText = size_t{4} << 20;
// What walking a line costs, in nanoseconds as measured: a face line's numbers
// are read, another line's end is only found. (Face lines of 23 and 63 bytes
// took 50-59 and 106-120 ns, other lines of 28 and 62 bytes 15-18 and 18-24:
// neither bytes nor lines alone weigh both kinds of file.)
constexpr WalkCosts kWalkCosts{23, 1.4, 13, 0.12};
// The most faces in one run: a run reads only from its start, so a name's
// faces come in stretches that threads can write side by side.
constexpr uint32_t kRunFaces = 4096;
// The length of a v, vt or vn line that the line tables reserve room for:
// most are 25-40 bytes long; where they are shorter, a table grows as before.
// The three tables' room (8 bytes a line) is as large as the piece.
constexpr size_t kTypicalLineBytes = 24;

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

// A line's text from q (its first non-blank byte) without its trailing blanks,
// and where the line ends.
inline std::string_view TrimmedFrom(const char* q, const char* e, const char*& stop) {
  stop = FindLineBreak(q, e);
  const char* last = stop;
  while (IsBlank(last[-1])) --last;
  return std::string_view(q, static_cast<size_t>(last - q));
}

// One walk over the lines of text[begin, end), telling the visitor about every
// line (Line), every v, vt and vn line (Element), f line (Face) and name line
// of the mode (Name), and with keep_materials every mtllib line (Library) and,
// in the group modes, every usemtl line (Material), judged by their cleaned
// form. Lines are classified by their first bytes; the walk looks at the rest
// of a line only to find its end.
template <class Visitor>
void WalkLines(std::string_view text, size_t begin, size_t end, bool material, bool keep_materials,
               Visitor& visitor) {
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
      visitor.Name(TrimmedFrom(q, e, stop));
    } else if (keep_materials && c == 'm' && IsKeywordLine(q, e, "mtllib")) {
      visitor.Library(TrimmedFrom(q, e, stop));
    } else if (keep_materials && !material && c == 'u' && IsNameLine(q, e, true)) {
      visitor.Material(TrimmedFrom(q, e, stop));
    }
    if (stop == nullptr) stop = FindLineBreak(q, e);
    p = stop;
    if (p < e) p += (*p == '\r' && p + 1 < e && p[1] == '\n') ? 2 : 1;
  }
}

// Raw lines numbered by first appearance in a piece of the text.
struct RawNumbering {
  std::vector<std::string_view> raws;
  std::unordered_map<std::string_view, uint32_t> id_of_raw;

  uint32_t IdOf(std::string_view raw) {
    const auto [found, added] = id_of_raw.try_emplace(raw, static_cast<uint32_t>(raws.size()));
    if (added) raws.push_back(raw);
    return found->second;
  }
};

// A run of faces as a piece finds it: it ends where the next begins.
struct PieceRun {
  FaceStore::Position begin;
  uint32_t name;      // a raw name of the piece, or kNoName before its first name line
  uint32_t material;  // a raw material of the piece, or kNoName
};

// What the walk over one piece of the text finds. Names are kept as their raw
// lines, numbered by first appearance in the piece, and turned into names and
// sort keys later on the calling thread (the collator is not shared). Aligned
// to a cache line: two threads filling neighbours must not share one.
struct alignas(64) Piece {
  std::vector<LineRef> lines[3];
  bool tabs = false;
  RawNumbering names, materials;
  std::vector<std::string_view> libraries;
  FaceStore faces;
  std::vector<PieceRun> runs;
  uint32_t current = kNoName;
  uint32_t material = kNoName;
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
  bool second;  // a relative index counts from the piece's start, to be completed later
  std::string scratch;
  FaceWriter writer;
  bool run_open = false;
  uint32_t run_faces = 0;  // in the open run

  void Line() { heartbeat.Beat(); }

  void Element(int kind, LineRef ref, bool tab) {
    piece.lines[kind].push_back(ref);
    piece.tabs = piece.tabs || tab;
  }

  const char* Face(const char* line, const char* e) {
    if (!run_open) {
      piece.runs.push_back(PieceRun{piece.faces.End(), piece.current, piece.material});
      writer.StartRun();
      run_open = true;
      run_faces = 0;
    }
    const int64_t before[3] = {static_cast<int64_t>(piece.lines[0].size()),
                               static_cast<int64_t>(piece.lines[1].size()),
                               static_cast<int64_t>(piece.lines[2].size())};
    uint64_t corners = 0;
    const char* end = ForEachCorner(line, e, scratch, [&](const Corner& corner) {
      // A line of millions of corners beats too.
      if ((++corners & 63) == 0) Line();
      uint32_t numbers[3] = {0, 0, 0};
      unsigned relative = 0;
      for (int k = 0; k < corner.parts; ++k) {
        const int64_t index = corner.index[k];
        if (index > 0) {
          piece.highest[k] = std::max(piece.highest[k], index);
          numbers[k] = static_cast<uint32_t>(index);  // beyond 32 bits only when refused
        } else if (index < 0) {
          const int64_t reach = index + before[k];
          piece.lowest_reach[k] = std::min(piece.lowest_reach[k], reach);
          numbers[k] = static_cast<uint32_t>(reach + 1);
          if (second) relative |= 1u << k;
        }
      }
      writer.AddCorner(corner.parts, relative, numbers);
    });
    writer.Finish();
    // The next face starts another run of the same name and material.
    if (++run_faces == kRunFaces) run_open = false;
    return end;
  }

  void Name(std::string_view raw) {
    if (piece.current != kNoName && raw == piece.last_raw) return;
    piece.last_raw = raw;
    const uint32_t id = piece.names.IdOf(raw);
    if (id == piece.current) return;
    piece.current = id;
    run_open = false;
  }

  void Material(std::string_view raw) {
    const uint32_t id = piece.materials.IdOf(raw);
    if (id == piece.material) return;
    piece.material = id;
    run_open = false;
  }

  void Library(std::string_view raw) { piece.libraries.push_back(raw); }
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
  void Library(std::string_view) {}
  void Material(std::string_view) {}

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
    }
    id_of_raw.emplace(raw, id);
    return id;
  }
};

// The materials of both pieces, one number per name (as written: another
// program tells Wood from WOOD), each kept as the cleaned usemtl line that
// named it first.
struct MaterialTable {
  std::vector<std::string> lines;
  std::unordered_map<std::string, uint32_t> id_of_name;

  uint32_t IdOf(std::string_view raw) {
    std::string line = CleanLine(raw);
    const auto [found, added] =
        id_of_name.try_emplace(NameOfLine(line, true), static_cast<uint32_t>(lines.size()));
    if (added) lines.push_back(std::move(line));
    return found->second;
  }
};

// The runs of both pieces in file order, each with its name (kNoName before
// the first name line) and material, their records moved into one store.
struct GatheredRuns {
  std::vector<FaceRun> runs;
  std::vector<uint32_t> names;
};

// Runs at the start of the second piece belong to the name and the material
// in force at the end of the first.
GatheredRuns GatherRuns(Piece (&pieces)[2], NameTable& names, MaterialTable& materials,
                        FaceStore& store) {
  GatheredRuns out;
  uint32_t current = kNoName, material = kNoMaterial;
  for (Piece& piece : pieces) {
    std::vector<uint32_t> name_ids, material_ids;
    for (const std::string_view raw : piece.names.raws) name_ids.push_back(names.IdOf(raw));
    for (const std::string_view raw : piece.materials.raws) {
      material_ids.push_back(materials.IdOf(raw));
    }
    const FaceStore::Position end = piece.faces.End();
    const FaceStore::Position shift = store.Take(piece.faces);
    for (size_t r = 0; r < piece.runs.size(); ++r) {
      const PieceRun& run = piece.runs[r];
      const FaceStore::Position run_end = r + 1 < piece.runs.size() ? piece.runs[r + 1].begin : end;
      out.runs.push_back(FaceRun{run.begin + shift, run_end + shift,
                                 run.material == kNoName ? material : material_ids[run.material]});
      out.names.push_back(run.name == kNoName ? current : name_ids[run.name]);
    }
    piece.runs = {};
    if (piece.current != kNoName) current = name_ids[piece.current];
    if (piece.material != kNoName) material = material_ids[piece.material];
  }
  return out;
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

// Puts the names in the collator's order and the runs after them, each name's
// in file order. Faces before the first name line belong to the first name in
// sorted order, and stand before all of its other faces in the file.
void SortNames(NameTable& table, const GatheredRuns& gathered, ObjModel& model) {
  const size_t count = table.names.size();
  std::vector<uint32_t> order(count);
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(),
            [&](uint32_t a, uint32_t b) { return table.keys[a] < table.keys[b]; });
  std::vector<uint32_t> rank(count);
  model.ElementNames.reserve(count);
  for (uint32_t r = 0; r < count; ++r) {
    rank[order[r]] = r;
    model.ElementNames.push_back(std::move(table.names[order[r]]));
  }
  const auto rank_of = [&](uint32_t name) { return name == kNoName ? 0 : rank[name]; };
  model.name_runs.assign(count + 1, 0);
  for (const uint32_t name : gathered.names) ++model.name_runs[rank_of(name) + 1];
  for (size_t r = 0; r < count; ++r) model.name_runs[r + 1] += model.name_runs[r];
  std::vector<size_t> next(model.name_runs.begin(), model.name_runs.end() - 1);
  model.runs.resize(gathered.runs.size());
  for (size_t r = 0; r < gathered.runs.size(); ++r) {
    model.runs[next[rank_of(gathered.names[r])]++] = gathered.runs[r];
  }
}

// Walks both pieces, the second on a helper thread where one can be had.
void WalkPieces(std::string_view text, size_t split, bool material, bool keep_materials,
                Heartbeat& heartbeat, Piece (&pieces)[2]) {
  const size_t middle = LineStartFrom(text, split == 0 ? text.size() : split);
  const auto walk = [&](size_t begin, size_t end, Piece& piece, const Lane& lane) {
    // Room for a line of each kind per kTypicalLineBytes of the piece: its
    // untouched pages cost nothing, and the tables do not grow by copying,
    // which writes each table about twice over on fresh pages.
    for (auto& lines : piece.lines) ReserveHuge(lines, (end - begin) / kTypicalLineBytes);
    PieceWalker walker{
        piece, text.data(), lane.heartbeat, begin > 0, {}, FaceWriter(piece.faces), false, 0};
    WalkLines(text, begin, end, material, keep_materials, walker);
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

size_t SplitPointFor(std::string_view text) {
  return text.size() < kLeastSplitText ? 0 : BalancedSplit(text, kWalkCosts);
}

ObjModel ParseOBJ(FileText text, int32_t DivIndex, const NameCollator& collator,
                  const std::string& path, Heartbeat& heartbeat, size_t split,
                  bool keep_materials) {
  if (text.text().size() >= kMaxTextSize) {
    throw ZelfinError("The file " + Quoted(path) + " is too large to be divided.");
  }
  const bool material = DivIndex == kDivMaterial;
  Piece pieces[2];
  WalkPieces(text.text(), split, material, keep_materials, heartbeat, pieces);
  text.CheckUnchanged();
  NameTable table{collator, material, path, {}, {}, {}, {}};
  MaterialTable materials;
  ObjModel model;
  const GatheredRuns gathered = GatherRuns(pieces, table, materials, model.faces);
  if (table.names.empty()) return ObjModel{};  // without names nothing is stored

  const bool suspect = MayReferToMissingLines(pieces);
  const size_t first_piece_lines[3] = {pieces[0].lines[0].size(), pieces[0].lines[1].size(),
                                       pieces[0].lines[2].size()};
  model.source = std::move(text);
  GatherLines(pieces, model);
  for (int k = 0; k < 3; ++k) {
    // New numbers are 32-bit; a file with more lines than that cannot be renumbered.
    if (LinesOfKind(model, k).size() >= std::numeric_limits<uint32_t>::max()) {
      throw ZelfinError("The file " + Quoted(path) + " has too many " + kObjKindWords[k] +
                        " lines.");
    }
    model.second_piece_base[k] = static_cast<uint32_t>(first_piece_lines[k]);
  }
  if (suspect) {
    Validator validator{model, path, heartbeat, 0, {0, 0, 0}, {}};
    const std::string_view all = model.source.text();
    WalkLines(all, 0, all.size(), material, false, validator);
    throw std::logic_error("a face refers to a missing line that the second walk did not find");
  }
  SortNames(table, gathered, model);
  if (keep_materials) {
    for (const Piece& piece : pieces) {
      for (const std::string_view raw : piece.libraries)
        model.LibraryLines.push_back(CleanLine(raw));
    }
    model.MaterialLines = std::move(materials.lines);
  }
  return model;
}

ObjModel ParseOBJ(std::string text, int32_t DivIndex, const NameCollator& collator,
                  const std::string& path, bool keep_materials) {
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  const size_t split = SplitPointFor(text);
  return ParseOBJ(FileText::FromString(std::move(text)), DivIndex, collator, path, heartbeat, split,
                  keep_materials);
}

ObjModel LoadOBJ(const std::string& path, int32_t DivIndex, Heartbeat& heartbeat,
                 bool keep_materials) {
  FileText text(path);
  const NameCollator collator(UserCollationLocale());
  const size_t split = SplitPointFor(text.text());
  return ParseOBJ(std::move(text), DivIndex, collator, path, heartbeat, split, keep_materials);
}

ObjModel LoadOBJ(const std::string& path, int32_t DivIndex) {
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  return LoadOBJ(path, DivIndex, heartbeat);
}

}  // namespace zelfin
