#pragma once
// The simplified mesh as an OBJ file: two comment lines, the used vertices,
// the live faces. The classic method writes normalised coordinates with eight
// decimals; the refined method writes the input's own coordinates: a vertex
// that never moved with the shortest text that reads back as the same
// double, a moved one with the input's own decimals plus three (at most nine
// significant digits, or as many as the input gives).
#include <string>

#include "platform/progress_sink.h"
#include "simplify/diet_attributes.h"
#include "simplify/diet_loader.h"
#include "simplify/diet_model.h"
#include "simplify/diet_run.h"

namespace zelfin {

// folder + base name of path + "_Simplified" + rounded percentage + "%.obj".
std::string DietOutputPath(const std::string& path, const std::string& folder, double keep_ratio);

// The whole file of the defined tables, every line ending in CR LF; "." as
// the decimal point whatever the locale.
std::string DietMeshText(const DietMesh& mesh);

// Writes DietMeshText to DietOutputPath atomically: a failure leaves any
// older file of that name as it was.
void WriteDietMesh(const std::string& path, const std::string& folder, double keep_ratio,
                   const DietMesh& mesh);

// The same for a run, by its method, to out_path: loaded gives the
// normalisation to undo, the coordinates as written of the vertices that
// never moved and the precision of the input's coordinates; attributes
// (refined only, may be null) the texture coordinates, normals, materials,
// groups, smoothing groups and material libraries to write. The window gets
// its turns through progress.KeepResponsive().
void WriteDietMesh(const std::string& out_path, const DietRun& run, const LoadedMesh& loaded,
                   SimplifyMethod method, const AttributeRun* attributes, ProgressSink& progress);

}  // namespace zelfin
