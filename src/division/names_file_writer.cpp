#include "division/names_file_writer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

#include "platform/beside.h"
#include "platform/huge_pages.h"
#include "platform/material_library.h"

namespace zelfin {
namespace {

constexpr size_t kCornerRoom = 3 * 10 + 3;  // " " and three 32-bit numbers with slashes

// Where a stretch of faces is formatted when another core formats the next
// one meanwhile: text that goes into the file afterwards. Room and Used work
// as WriteBehind's do.
class TextPiece {
 public:
  char* Room(size_t n) {
    if (capacity_ - used_ < n) Grow(n);
    return text_.get() + used_;
  }
  void Used(char* end) { used_ = static_cast<size_t>(end - text_.get()); }
  void Append(std::string_view data) {
    char* p = Room(data.size());
    std::memcpy(p, data.data(), data.size());
    Used(p + data.size());
  }
  std::string_view Text() const { return {text_.get(), used_}; }
  void Clear() { used_ = 0; }

 private:
  // A stretch's text is some megabytes: room for that at once, on huge pages
  // where they are worth it, and never zeroed (fresh small pages cost the
  // first stretches more than formatting them).
  static constexpr size_t kFirstRoom = size_t{4} << 20;
  void Grow(size_t n) {
    const size_t capacity = std::max({2 * capacity_, used_ + n, kFirstRoom});
    auto larger = std::make_unique_for_overwrite<char[]>(capacity);
    AdviseHugePagesIfWorth(larger.get(), capacity, capacity);
    if (used_ > 0) std::memcpy(larger.get(), text_.get(), used_);
    text_ = std::move(larger);
    capacity_ = capacity;
  }
  std::unique_ptr<char[]> text_;  // reused from stretch to stretch
  size_t capacity_ = 0, used_ = 0;
};

// A stored line and CR LF; tabs become spaces on the way when it may have any.
// A long line goes in pieces.
template <class Out>
void PutLine(std::string_view line, bool tabs, Out& out) {
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

// One corner, rewritten with the new numbers, at p (kCornerRoom bytes). Most
// files number a corner's parts alike ("7/7/7"): a number equal to the part
// before it is copied, not formatted again.
[[gnu::always_inline]] inline char* PutCorner(char* p, FaceReader& reader,
                                              const Renumbering& renumbering) {
  uint32_t numbers[3] = {0, 0, 0};
  const int parts = reader.NextCorner(numbers);
  *p++ = ' ';
  uint32_t last = 0;  // the part before's number, 0 for none
  const char* digits = p;
  if (numbers[0] != 0) {
    last = renumbering.used[0].NewNumber(numbers[0] - 1);
    p = std::to_chars(p, p + 10, last).ptr;
  }
  for (int k = 1; k < parts; ++k) {
    *p++ = '/';
    uint32_t number = 0;
    if (numbers[k] != 0) number = renumbering.used[k].NewNumber(numbers[k] - 1);
    if (number == last) {
      // The same digits again (none for two parts without a reference).
      const size_t length = static_cast<size_t>(p - 1 - digits);
      for (size_t i = 0; i < length; ++i) p[i] = digits[i];
      digits = p;
      p += length;
    } else {
      digits = p;
      if (number != 0) p = std::to_chars(p, p + 10, number).ptr;
    }
    last = number;
  }
  return p;
}

// The faces of one run, each "f" and its corners.
template <class Out>
void WriteRun(FaceReader& reader, const Renumbering& renumbering, Out& out, Heartbeat& heartbeat) {
  constexpr size_t kRecordRoom = kCornersPerRecord * kCornerRoom;
  while (reader.NextFace()) {
    // Room for the first record, the "f" and the line end; each further
    // record of a face of many corners asks for its own.
    char* p = out.Room(1 + kRecordRoom + 2);
    *p++ = 'f';
    bool first = true;
    for (uint32_t n = reader.NextCorners(); n > 0; n = reader.NextCorners(), first = false) {
      heartbeat.Beat();  // per record, as the marking
      if (!first) {
        out.Used(p);
        p = out.Room(kRecordRoom + 2);
      }
      for (; n > 0; --n) p = PutCorner(p, reader, renumbering);
    }
    *p++ = '\r';
    *p++ = '\n';
    out.Used(p);
  }
}

// One step of the third pass: a run of faces, after its name's line when it
// is the name's first run (a name without faces is its line alone), and
// after a usemtl line when the style asks for one there. Steps are made
// alone, so that two cores can each take a stretch of them.
struct FaceStep {
  uint32_t name;
  const FaceRun* run;  // null: a name without faces
  bool name_line;
  bool material_line;
};

// The steps of the names' faces, with the usemtl lines of their materials
// when the style asks for them: said again after every name line.
std::vector<FaceStep> FaceSteps(const ObjModel& model, const std::vector<uint32_t>& names,
                                const NamesFileStyle& style) {
  std::vector<FaceStep> steps;
  for (const uint32_t name : names) {
    const std::span<const FaceRun> runs = RunsOf(model, name);
    if (runs.empty()) steps.push_back(FaceStep{name, nullptr, true, false});
    uint32_t material = kNoMaterial;
    for (const FaceRun& run : runs) {
      const bool say =
          style.material_lines && run.material != kNoMaterial && run.material != material;
      if (say) material = run.material;
      steps.push_back(FaceStep{name, &run, &run == runs.data(), say});
    }
  }
  return steps;
}

// The first pass: marks the lines that the steps' faces use.
void MarkSteps(const ObjModel& model, std::span<const FaceStep> steps, Renumbering& renumbering,
               Heartbeat& heartbeat) {
  const uint64_t sizes[3] = {model.VLines.size(), model.VTLines.size(), model.VNLines.size()};
  for (const FaceStep& step : steps) {
    if (step.run == nullptr) continue;
    FaceReader reader = ReaderOf(model, *step.run);
    while (reader.NextFace()) {
      // A beat per record: a face of millions of corners is many.
      for (uint32_t n = reader.NextCorners(); n > 0; n = reader.NextCorners()) {
        heartbeat.Beat();
        for (; n > 0; --n) {
          uint32_t numbers[3];
          const int parts = reader.NextCorner(numbers);
          for (int k = 0; k < parts; ++k) {
            if (numbers[k] == 0) continue;
            // The model refuses references to missing lines; the sets are
            // never touched outside their bounds even so.
            if (numbers[k] > sizes[k]) throw std::logic_error("face reference outside the model");
            renumbering.used[k].Mark(numbers[k] - 1);
          }
        }
      }
    }
  }
}

template <class Out>
void WriteSteps(const ObjModel& model, std::span<const FaceStep> steps, const NamesFileStyle& style,
                const Renumbering& renumbering, Out& out, Heartbeat& heartbeat) {
  for (const FaceStep& step : steps) {
    if (step.name_line) {
      out.Append(style.keyword);
      out.Append(model.ElementNames[step.name]);
      out.Append("\r\n");
    }
    if (step.run == nullptr) continue;
    if (step.material_line) PutLine(model.MaterialLines[step.run->material], false, out);
    FaceReader reader = ReaderOf(model, *step.run);
    WriteRun(reader, renumbering, out, heartbeat);
  }
}

// The bytes of a run's records, about.
uint64_t RecordBytes(const FaceRun& run) {
  return FaceStore::BytesBetween(run.begin, run.end);
}

// The end of the stretch of steps from `from` that holds about `bytes` of
// records, one step at least.
size_t StretchEnd(std::span<const FaceStep> steps, size_t from, size_t bytes) {
  uint64_t held = 0;
  size_t to = from;
  while (to < steps.size() && (to == from || held < bytes)) {
    if (steps[to].run != nullptr) held += RecordBytes(*steps[to].run);
    ++to;
  }
  return to;
}

// The third pass on two cores: stretches of the steps of about `stretch`
// bytes of records each, two at a time, the first made on the calling core
// straight into out, the second meanwhile on another into text that follows.
void WriteStepsTwoAtATime(const ObjModel& model, std::span<const FaceStep> steps,
                          const NamesFileStyle& style, const Renumbering& renumbering,
                          size_t stretch, WriteBehind& out, Heartbeat& heartbeat) {
  TextPiece piece;
  for (size_t from = 0; from < steps.size();) {
    const size_t middle = StretchEnd(steps, from, stretch);
    const size_t to = StretchEnd(steps, middle, stretch);
    RunBeside(
        heartbeat,
        [&](const Lane& lane) {
          WriteSteps(model, steps.subspan(from, middle - from), style, renumbering, out,
                     lane.heartbeat);
        },
        [&](const Lane& lane) {
          piece.Clear();
          WriteSteps(model, steps.subspan(middle, to - middle), style, renumbering, piece,
                     lane.heartbeat);
        });
    out.Append(piece.Text());
    from = to;
  }
}

// The first pass on two cores: each marks the lines of half the records in
// a set of its own, and the sets are joined.
void MarkStepsTwoAtATime(const ObjModel& model, std::span<const FaceStep> steps,
                         Renumbering& renumbering, Heartbeat& heartbeat) {
  uint64_t all = 0;
  for (const FaceStep& step : steps) all += step.run != nullptr ? RecordBytes(*step.run) : 0;
  const size_t middle = StretchEnd(steps, 0, all / 2);
  Renumbering other(model);
  RunBeside(
      heartbeat,
      [&](const Lane& lane) { MarkSteps(model, steps.first(middle), renumbering, lane.heartbeat); },
      [&](const Lane& lane) { MarkSteps(model, steps.subspan(middle), other, lane.heartbeat); });
  for (int k = 0; k < 3; ++k) renumbering.used[k].Take(other.used[k]);
}

// The third pass: each name's line and its faces.
void WriteFaces(const ObjModel& model, const std::vector<FaceStep>& steps,
                const NamesFileStyle& style, const Renumbering& renumbering,
                size_t two_core_stretch, WriteBehind& out, Heartbeat& heartbeat) {
  if (two_core_stretch == 0) {
    WriteSteps(model, std::span(steps), style, renumbering, out, heartbeat);
  } else {
    WriteStepsTwoAtATime(model, steps, style, renumbering, two_core_stretch, out, heartbeat);
  }
}

}  // namespace

NamesFileStyle StyleOf(const ObjModel& model, std::string_view keyword, bool keep_materials,
                       const std::string& path, const std::string& folder,
                       std::vector<std::string>& libraries) {
  NamesFileStyle style{keyword};
  if (!keep_materials) return style;
  libraries = MaterialLibraryLines(model.LibraryLines, path, folder);
  style.libraries = &libraries;
  style.material_lines = keyword != "usemtl ";  // by material, the name line says it
  return style;
}

Renumbering::Renumbering(const ObjModel& model) {
  for (int k = 0; k < 3; ++k) used.emplace_back(LinesOfKind(model, k).size());
}

void WriteNamesData(const ObjModel& model, const std::vector<uint32_t>& names,
                    const NamesFileStyle& style, std::string_view header, const std::string& path,
                    Renumbering& renumbering, WriteBehind& out, Heartbeat& heartbeat,
                    size_t two_core_stretch) {
  const std::vector<FaceStep> steps = FaceSteps(model, names, style);
  if (two_core_stretch == 0) {
    MarkSteps(model, steps, renumbering, heartbeat);
  } else {
    MarkStepsTwoAtATime(model, steps, renumbering, heartbeat);
  }
  for (UsedSet& used : renumbering.used) used.Number();
  out.Begin(path);
  out.Append(header);
  out.Append("\r\n");
  if (style.libraries != nullptr) {
    for (const std::string& line : *style.libraries) PutLine(line, false, out);
  }
  // Copying the lines is bound by memory, not by a core: a second core
  // measured no faster.
  WriteUsedLines(model, renumbering, out, heartbeat);
  WriteFaces(model, steps, style, renumbering, two_core_stretch, out, heartbeat);
  for (UsedSet& used : renumbering.used) used.Clear();
}

void WriteNamesFile(const ObjModel& model, const std::vector<uint32_t>& names,
                    const NamesFileStyle& style, std::string_view header, const std::string& path,
                    Renumbering& renumbering, WriteBehind& out, Heartbeat& heartbeat,
                    size_t two_core_stretch) {
  WriteNamesData(model, names, style, header, path, renumbering, out, heartbeat, two_core_stretch);
  model.source.CheckUnchanged();  // nothing made of a file cut short stands
  out.Commit();
}

void WriteNamesFile(const ObjModel& model, const std::vector<uint32_t>& names,
                    const NamesFileStyle& style, std::string_view header, const std::string& path,
                    Renumbering& renumbering) {
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  WriteBehind out(heartbeat);
  WriteNamesFile(model, names, style, header, path, renumbering, out, heartbeat);
  out.Finish();
}

}  // namespace zelfin
