#include "division/names_file_writer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>

#include "division/face_corners.h"

namespace zelfin {
namespace {

constexpr size_t kCornerRoom = 3 * 10 + 3;  // " " and three 32-bit numbers with slashes
// The room beyond cache_words for the last face kept: 15 corners; a face of
// more grows the store.
constexpr size_t kRoomPerFace = 1 + 4 * 15;

// Turns the indices of one face into positions in their line lists; relative
// indices count back from the face, which costs a search, so only once per
// kind and face.
class FaceResolver {
 public:
  FaceResolver(const ObjModel& model, uint64_t offset) : model_(model), offset_(offset) {}

  size_t Position(int kind, int64_t index) {
    const std::vector<LineRef>& lines = LinesOfKind(model_, kind);
    int64_t position = index - 1;
    if (index < 0) {
      if (before_[kind] < 0) before_[kind] = static_cast<int64_t>(LinesBefore(lines, offset_));
      position = before_[kind] + index;
    }
    // The model refuses references to missing lines; the sets are never read
    // outside their bounds even so.
    if (position < 0 || static_cast<uint64_t>(position) >= lines.size()) {
      throw std::logic_error("face reference outside the model");
    }
    return static_cast<size_t>(position);
  }

 private:
  const ObjModel& model_;
  uint64_t offset_;
  int64_t before_[3] = {-1, -1, -1};
};

// Calls fn(const Corner&, FaceResolver&) for every corner of the face at ref.
template <class Fn>
void ForEachFaceCorner(const ObjModel& model, LineRef ref, std::string& scratch, Fn&& fn) {
  const std::string_view line = RawLineAt(model, ref);
  FaceResolver resolver(model, LineStart(ref));
  ForEachCorner(line.data(), line.data() + line.size(), scratch,
                [&](const Corner& corner) { fn(corner, resolver); });
}

// The positions (plus one; 0: no reference) that the parts of a corner name.
template <class Fn>
void ForEachResolvedCorner(const ObjModel& model, LineRef face, std::string& scratch, Fn&& fn) {
  ForEachFaceCorner(model, face, scratch, [&](const Corner& corner, FaceResolver& resolver) {
    uint32_t positions[3] = {0, 0, 0};
    for (int k = 0; k < corner.parts; ++k) {
      if (corner.index[k] != 0) {
        positions[k] = static_cast<uint32_t>(resolver.Position(k, corner.index[k]) + 1);
      }
    }
    fn(corner.parts, static_cast<const uint32_t*>(positions));
  });
}

// The first pass: marks the lines that the faces of names use, and keeps the
// corners in renumbering.cache while it has room. Returns how many faces it kept.
size_t MarkUsedLines(const ObjModel& model, const std::vector<uint32_t>& names,
                     Renumbering& renumbering, Heartbeat& heartbeat) {
  // Per face: its corner count, then per corner its part count and the three
  // positions plus one. Reserved whole at once: growing by doubling would hold
  // the old and the new store at the same moment.
  std::vector<uint32_t>& cache = renumbering.cache;
  cache.clear();
  cache.reserve(renumbering.cache_words + kRoomPerFace);
  size_t cached_faces = 0;
  std::string scratch;
  for (const uint32_t name : names) {
    for (const LineRef face : model.FaceLines[name]) {
      heartbeat.Beat();
      const bool caching = cache.size() < renumbering.cache_words;
      const size_t count_at = cache.size();
      if (caching) cache.push_back(0);
      ForEachResolvedCorner(model, face, scratch, [&](int parts, const uint32_t* positions) {
        for (int k = 0; k < parts; ++k) {
          if (positions[k] != 0) renumbering.used[k].Mark(positions[k] - 1);
        }
        if (caching) {
          ++cache[count_at];
          cache.push_back(static_cast<uint32_t>(parts));
          for (int k = 0; k < 3; ++k) cache.push_back(positions[k]);
        }
      });
      if (caching) ++cached_faces;
    }
  }
  for (UsedSet& used : renumbering.used) used.Number();
  return cached_faces;
}

// A stored line and CR LF; tabs become spaces on the way when it may have any.
// A long line goes in pieces.
void PutLine(std::string_view line, bool tabs, WriteBehind& out) {
  for (;;) {
    const bool last = line.size() + 2 <= WriteBehind::kLargestRoom;
    const size_t n = last ? line.size() : WriteBehind::kLargestRoom;
    char* p = out.Room(last ? n + 2 : n);
    std::memcpy(p, line.data(), n);
    if (tabs) std::replace(p, p + n, '\t', ' ');
    p += n;
    if (last) {
      *p++ = '\r';
      *p++ = '\n';
    }
    out.Used(p);
    if (last) return;
    line.remove_prefix(n);
  }
}

// The second pass: writes the marked lines in file order, which is the order
// of their new numbers.
void WriteUsedLines(const ObjModel& model, const Renumbering& renumbering, WriteBehind& out,
                    Heartbeat& heartbeat) {
  for (int k = 0; k < 3; ++k) {
    const std::vector<LineRef>& lines = LinesOfKind(model, k);
    renumbering.used[k].ForEachMarked([&](size_t j) {
      heartbeat.Beat();
      PutLine(RawLineAt(model, lines[j]), model.element_tabs, out);
    });
  }
}

void PutCorner(int parts, const uint32_t* positions, const Renumbering& renumbering,
               WriteBehind& out) {
  char* p = out.Room(kCornerRoom);
  *p++ = ' ';
  for (int k = 0; k < parts; ++k) {
    if (k > 0) *p++ = '/';
    if (positions[k] != 0) {
      p = std::to_chars(p, p + 10, renumbering.used[k].NewNumber(positions[k] - 1)).ptr;
    }
  }
  out.Used(p);
}

// The third pass: each name's line and its faces, the first cached_faces of
// them from the cache, the rest read again.
void WriteFaces(const ObjModel& model, const std::vector<uint32_t>& names, std::string_view keyword,
                const Renumbering& renumbering, size_t cached_faces, WriteBehind& out,
                Heartbeat& heartbeat) {
  size_t face_number = 0;
  const uint32_t* cached = renumbering.cache.data();
  std::string scratch;
  for (const uint32_t name : names) {
    out.Append(keyword);
    out.Append(model.ElementNames[name]);
    out.Append("\r\n");
    for (const LineRef face : model.FaceLines[name]) {
      heartbeat.Beat();
      out.Append("f");
      if (face_number++ < cached_faces) {
        const uint32_t corners = *cached++;
        for (uint32_t c = 0; c < corners; ++c, cached += 4) {
          PutCorner(static_cast<int>(cached[0]), cached + 1, renumbering, out);
        }
      } else {
        ForEachResolvedCorner(model, face, scratch, [&](int parts, const uint32_t* positions) {
          PutCorner(parts, positions, renumbering, out);
        });
      }
      out.Append("\r\n");
    }
  }
}

}  // namespace

Renumbering::Renumbering(const ObjModel& model) {
  for (int k = 0; k < 3; ++k) used.emplace_back(LinesOfKind(model, k).size());
}

void WriteNamesData(const ObjModel& model, const std::vector<uint32_t>& names,
                    std::string_view keyword, std::string_view header, const std::string& path,
                    Renumbering& renumbering, WriteBehind& out, Heartbeat& heartbeat) {
  const size_t cached_faces = MarkUsedLines(model, names, renumbering, heartbeat);
  out.Begin(path);
  out.Append(header);
  out.Append("\r\n");
  WriteUsedLines(model, renumbering, out, heartbeat);
  WriteFaces(model, names, keyword, renumbering, cached_faces, out, heartbeat);
  for (UsedSet& used : renumbering.used) used.Clear();
}

void WriteNamesFile(const ObjModel& model, const std::vector<uint32_t>& names,
                    std::string_view keyword, std::string_view header, const std::string& path,
                    Renumbering& renumbering, WriteBehind& out, Heartbeat& heartbeat) {
  WriteNamesData(model, names, keyword, header, path, renumbering, out, heartbeat);
  model.source.CheckUnchanged();  // nothing made of a file cut short stands
  out.Commit();
}

void WriteNamesFile(const ObjModel& model, const std::vector<uint32_t>& names,
                    std::string_view keyword, std::string_view header, const std::string& path,
                    Renumbering& renumbering) {
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  WriteBehind out(heartbeat);
  WriteNamesFile(model, names, keyword, header, path, renumbering, out, heartbeat);
  out.Finish();
}

}  // namespace zelfin
