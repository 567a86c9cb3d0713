#pragma once
#include <string>

#include "platform/progress_sink.h"
#include "simplify/simplify_method.h"

namespace zelfin {

// Simplifies the mesh of the OBJ file at path, keeping keep_ratio of its
// triangles, and writes folder + base name + "_Simplified<percent>%.obj".
// The sink is shown at the start and hidden on every way out, error included.
void SimplifyFile(const std::string& path, const std::string& folder, double keep_ratio,
                  ProgressSink& progress, SimplifyMethod method = SimplifyMethod::kClassic);

}  // namespace zelfin
