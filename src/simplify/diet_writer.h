#pragma once
// The simplified mesh as an OBJ file: two comment lines, the used vertices in
// normalised coordinates with eight decimals, the live faces.
#include <string>

#include "simplify/diet_model.h"

namespace zelfin {

// folder + base name of path + "_Simplified" + rounded percentage + "%.obj".
std::string DietOutputPath(const std::string& path, const std::string& folder, double keep_ratio);

// The whole file, every line ending in CR LF; "." as the decimal point
// whatever the locale.
std::string DietMeshText(const DietMesh& mesh);

// Writes DietMeshText to DietOutputPath atomically: a failure leaves any
// older file of that name as it was.
void WriteDietMesh(const std::string& path, const std::string& folder, double keep_ratio,
                   const DietMesh& mesh);

}  // namespace zelfin
