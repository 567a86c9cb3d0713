#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/progress_sink.h"
#include "simplify/simplify_method.h"
#include "simplify/surface_deviation.h"

namespace zelfin {

// What a simplification may do besides keeping a share of the triangles.
struct SimplifyOptions {
  // Measure the deviation of the classic method's output too (the refined
  // method's is always measured).
  bool measure = false;
  // A deviation budget in percent of the input's bounding-box diagonal
  // (refined method): contract while the next contraction's error estimate
  // stays within it; keep_ratio is then a floor. The output is named
  // "_SimplifiedMax<percent>%.obj".
  std::optional<double> max_error;
};

// What a simplification did.
struct SimplifyResult {
  SimplifyMethod method = SimplifyMethod::kClassic;
  std::string written;        // the path of the written file
  int64_t triangles_in = 0;   // the input's triangles (faces cut into fans)
  int64_t triangles_out = 0;  // the written file's triangles
  int64_t target = 0;         // the triangles keep_ratio asks for; with a budget, the floor
  bool budget = false;        // contracted within options.max_error
  // The output against the input, in the written file's units (the input's
  // for the refined method, the normalised frame for the classic one); none
  // when either has no triangle.
  std::optional<Deviation> deviation;
  bool unmeasured = false;  // measuring was asked for but found no memory

  // The keep ratio was not reached: no pair was left that may be contracted.
  bool ShortOfTarget() const { return !budget && triangles_out > target; }
};

// folder + base name of path + "_SimplifiedMax" + percent + "%.obj".
std::string BudgetOutputPath(const std::string& path, const std::string& folder, double percent);

// Simplifies the mesh of the OBJ file at path, keeping keep_ratio of its
// triangles, and writes folder + base name + "_Simplified<percent>%.obj".
// The sink is shown at the start and hidden on every way out, error included.
// The deviation is measured after the file is written, with no caption of its
// own; a measurement that finds no memory is left out.
SimplifyResult SimplifyFile(const std::string& path, const std::string& folder, double keep_ratio,
                            ProgressSink& progress,
                            SimplifyMethod method = SimplifyMethod::kClassic,
                            const SimplifyOptions& options = {});

}  // namespace zelfin
