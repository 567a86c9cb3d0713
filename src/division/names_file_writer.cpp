#include "division/names_file_writer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>

#include "platform/material_library.h"

namespace zelfin {
namespace {

constexpr size_t kCornerRoom = 3 * 10 + 3;  // " " and three 32-bit numbers with slashes

// The first pass: marks the lines that the faces of names use.
void MarkUsedLines(const ObjModel& model, const std::vector<uint32_t>& names,
                   Renumbering& renumbering, Heartbeat& heartbeat) {
  const uint64_t sizes[3] = {model.VLines.size(), model.VTLines.size(), model.VNLines.size()};
  for (const uint32_t name : names) {
    for (const FaceRun& run : RunsOf(model, name)) {
      FaceReader reader = ReaderOf(model, run);
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
              if (numbers[k] > sizes[k]) {
                throw std::logic_error("face reference outside the model");
              }
              renumbering.used[k].Mark(numbers[k] - 1);
            }
          }
        }
      }
    }
  }
  for (UsedSet& used : renumbering.used) used.Number();
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

// One corner, rewritten with the new numbers, at p (kCornerRoom bytes). Most
// files number a corner's parts alike ("7/7/7"): a number equal to the part
// before it is copied, not formatted again.
[[gnu::always_inline]] inline char* PutCorner(char* p, FaceReader& reader,
                                              const Renumbering& renumbering) {
  uint32_t numbers[3];
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
void WriteRun(FaceReader& reader, const Renumbering& renumbering, WriteBehind& out,
              Heartbeat& heartbeat) {
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

// The third pass: each name's line and its faces, with the usemtl lines of
// their materials when the style asks for them.
void WriteFaces(const ObjModel& model, const std::vector<uint32_t>& names,
                const NamesFileStyle& style, const Renumbering& renumbering, WriteBehind& out,
                Heartbeat& heartbeat) {
  for (const uint32_t name : names) {
    out.Append(style.keyword);
    out.Append(model.ElementNames[name]);
    out.Append("\r\n");
    uint32_t material = kNoMaterial;  // said again after every name line
    for (const FaceRun& run : RunsOf(model, name)) {
      if (style.material_lines && run.material != kNoMaterial && run.material != material) {
        material = run.material;
        PutLine(model.MaterialLines[material], false, out);
      }
      FaceReader reader = ReaderOf(model, run);
      WriteRun(reader, renumbering, out, heartbeat);
    }
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
                    Renumbering& renumbering, WriteBehind& out, Heartbeat& heartbeat) {
  MarkUsedLines(model, names, renumbering, heartbeat);
  out.Begin(path);
  out.Append(header);
  out.Append("\r\n");
  if (style.libraries != nullptr) {
    for (const std::string& line : *style.libraries) PutLine(line, false, out);
  }
  WriteUsedLines(model, renumbering, out, heartbeat);
  WriteFaces(model, names, style, renumbering, out, heartbeat);
  for (UsedSet& used : renumbering.used) used.Clear();
}

void WriteNamesFile(const ObjModel& model, const std::vector<uint32_t>& names,
                    const NamesFileStyle& style, std::string_view header, const std::string& path,
                    Renumbering& renumbering, WriteBehind& out, Heartbeat& heartbeat) {
  WriteNamesData(model, names, style, header, path, renumbering, out, heartbeat);
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
