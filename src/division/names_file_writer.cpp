#include "division/names_file_writer.h"

#include <charconv>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "division/face_corners.h"
#include "platform/text_file.h"

namespace zelfin {
namespace {

constexpr size_t kChunk = 1 << 20;
constexpr size_t kCornerRoom = 3 * 10 + 3;  // " " and three 32-bit numbers with slashes

// The output in chunks: whole files never sit in memory.
class ChunkedOutput {
 public:
  explicit ChunkedOutput(AtomicFileWriter& writer)
      : writer_(writer), data_(std::make_unique_for_overwrite<char[]>(kChunk)) {}

  // Room for n more bytes (n <= kChunk); write there, then call Used.
  char* Room(size_t n) {
    if (kChunk - used_ < n) Flush();
    return data_.get() + used_;
  }
  void Used(char* end) { used_ = static_cast<size_t>(end - data_.get()); }

  void Append(std::string_view s) {
    if (s.size() > kChunk / 2) {
      Flush();
      writer_.Write(s);
      return;
    }
    char* p = Room(s.size());
    std::memcpy(p, s.data(), s.size());
    Used(p + s.size());
  }
  void Line(std::string_view s) {
    Append(s);
    Append("\r\n");
  }
  void Flush() {
    if (used_ > 0) writer_.Write(std::string_view(data_.get(), used_));
    used_ = 0;
  }

 private:
  AtomicFileWriter& writer_;
  std::unique_ptr<char[]> data_;
  size_t used_ = 0;
};

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
    // The model refuses references to missing lines; the maps are never read
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
  const std::string_view line = LineAt(model, ref);
  FaceResolver resolver(model, LineStart(ref));
  ForEachCorner(line.data(), line.data() + line.size(), scratch,
                [&](const Corner& corner) { fn(corner, resolver); });
}

}  // namespace

Renumbering::Renumbering(const ObjModel& model) {
  for (int k = 0; k < 3; ++k) {
    const size_t size = LinesOfKind(model, k).size();
    map[k].assign(size, 0);
    used.emplace_back(size);
  }
}

void WriteNamesFile(const ObjModel& model, const std::vector<uint32_t>& names,
                    std::string_view keyword, std::string_view header, const std::string& path,
                    Renumbering& renumbering) {
  AtomicFileWriter writer(path);
  ChunkedOutput out(writer);
  std::string scratch;
  out.Line(header);

  // Per face: its corner count, then per corner its part count and the three
  // positions plus one (0: no reference).
  std::vector<uint32_t> cache;
  size_t cached_faces = 0;
  for (const uint32_t name : names) {
    for (const LineRef face : model.FaceLines[name]) {
      const bool caching = cache.size() < renumbering.cache_words;
      const size_t count_at = cache.size();
      if (caching) cache.push_back(0);
      ForEachFaceCorner(model, face, scratch, [&](const Corner& corner, FaceResolver& resolver) {
        uint32_t positions[3] = {0, 0, 0};
        for (int k = 0; k < corner.parts; ++k) {
          if (corner.index[k] != 0) {
            const size_t position = resolver.Position(k, corner.index[k]);
            renumbering.used[k].Mark(position);
            positions[k] = static_cast<uint32_t>(position + 1);
          }
        }
        if (caching) {
          ++cache[count_at];
          cache.insert(cache.end(), {static_cast<uint32_t>(corner.parts), positions[0],
                                     positions[1], positions[2]});
        }
      });
      if (caching) ++cached_faces;
    }
  }

  // New numbers follow the input order of the used lines.
  for (int k = 0; k < 3; ++k) {
    const std::vector<LineRef>& lines = LinesOfKind(model, k);
    std::vector<uint32_t>& map = renumbering.map[k];
    uint32_t counter = 0;
    renumbering.used[k].Drain([&](size_t j) {
      map[j] = ++counter;
      out.Line(LineAt(model, lines[j]));
    });
  }

  const auto write_corner = [&](int parts, const uint32_t* positions) {
    char* p = out.Room(kCornerRoom);
    *p++ = ' ';
    for (int k = 0; k < parts; ++k) {
      if (k > 0) *p++ = '/';
      if (positions[k] != 0) p = std::to_chars(p, p + 10, renumbering.map[k][positions[k] - 1]).ptr;
    }
    out.Used(p);
  };
  size_t face_number = 0;
  const uint32_t* cached = cache.data();
  for (const uint32_t name : names) {
    out.Append(keyword);
    out.Line(model.ElementNames[name]);
    for (const LineRef face : model.FaceLines[name]) {
      out.Append("f");
      if (face_number++ < cached_faces) {
        const uint32_t corners = *cached++;
        for (uint32_t c = 0; c < corners; ++c, cached += 4) {
          write_corner(static_cast<int>(cached[0]), cached + 1);
        }
      } else {
        ForEachFaceCorner(model, face, scratch, [&](const Corner& corner, FaceResolver& resolver) {
          uint32_t positions[3] = {0, 0, 0};
          for (int k = 0; k < corner.parts; ++k) {
            if (corner.index[k] != 0) {
              positions[k] = static_cast<uint32_t>(resolver.Position(k, corner.index[k]) + 1);
            }
          }
          write_corner(corner.parts, positions);
        });
      }
      out.Append("\r\n");
    }
  }

  out.Flush();
  writer.Commit();
}

}  // namespace zelfin
