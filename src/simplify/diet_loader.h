#pragma once
// Reads an OBJ file into the simplification's tables: every vertex line in
// normalised coordinates (the largest extent spans -1 to 1) linked to the
// earliest coincident vertex, and the faces cut into fans of triangles.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/progress_sink.h"
#include "platform/text_file.h"
#include "simplify/diet_attribute_reader.h"
#include "simplify/diet_model.h"
#include "simplify/diet_run.h"

namespace zelfin {

// What a load is to keep besides the run's tables.
struct LoadWants {
  bool same_as = false;     // the defined SameAs of every vertex
  bool raw = false;         // every vertex's coordinates as written
  bool attributes = false;  // texture coordinates, normals, materials, groups
  // The file the text is mapped from: its pages are let go once the first
  // pass has read them (the rest reads the text only to find a line for a
  // message).
  const FileText* source = nullptr;
};

// How precisely a vertex line writes its coordinates: the most decimals and
// significant digits among its three (PrecisionOf), each at most 255.
struct LinePrecision {
  uint8_t decimals = 0, digits = 0;
};

// What a load gives besides the run's tables.
struct LoadedMesh {
  Normalisation norm;
  std::vector<int32_t> same_as;          // per vertex, when asked for
  std::vector<TDietVec> raw;             // per vertex, when asked for
  std::vector<LinePrecision> precision;  // per vertex, with raw
  LoadedAttributes attributes;           // when asked for; per stored triangle
};

// Fills the run's vertices (flags, positions and a zero quadric each) and
// faces from the file's text (byte-order mark already removed); path names
// the file in errors. Raises ZelfinError (naming the file and the line
// where there is one) on short vertex lines, references that name no vertex
// read before them, coordinates that leave the range of a double or sit all
// at one point, and more vertices or triangles than can be numbered. The
// window gets its turns through progress.KeepResponsive().
void LoadDietRun(std::string_view text, const std::string& path, ProgressSink& progress,
                 const LoadWants& wants, DietRun& run, LoadedMesh& loaded);

// The same into the defined tables DietVerts and DietFaces (DietPairs emptied).
void LoadDietMesh(const std::string& path, DietMesh& mesh);

// The same on the file's text (byte-order mark already removed).
void LoadDietMeshText(const std::string& text, const std::string& path, DietMesh& mesh);

// The part of token before its first "/", read as a decimal integer with an
// optional sign. False when that part is not an integer (empty included). A
// value beyond int64 saturates; callers treat it as naming no vertex.
bool ReadVertexReference(std::string_view token, int64_t& value);

}  // namespace zelfin
