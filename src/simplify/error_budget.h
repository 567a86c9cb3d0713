#pragma once
// The deviation budget of a simplification: contract while the next
// contraction's error stays within a share of the model's size.
//
// The budget bounds the quadric's own estimate, not the measured distance. A
// pair's quadric is an area-weighted sum of the squared distances to the
// planes of the triangles merged into it, in the normalised frame (the
// longest side spans 2). The trace of its upper-left 3x3 block is the sum of
// those weights (the planes' normals are unit), so cost / trace is the
// weighted mean of the squared plane distances at the target, and its square
// root an RMS distance. The measured maximum lies above it (about a few times
// on real models), since the mean hides the planes the target is furthest
// from.
#include <cstddef>
#include <limits>

#include "simplify/diet_model.h"
#include "simplify/diet_run.h"

namespace zelfin {

// No budget: the triangle count alone ends the contractions.
inline constexpr double kNoBudget = std::numeric_limits<double>::infinity();

// The distance that a quadric's cost stands for: sqrt(cost / trace of the 3x3
// block); 0 for a quadric without planes.
double QuadricDistance(const TDietMatrix& Q, double cost);

// QuadricDistance of run pair i, priced with the states it was priced with
// (its position error, without attribute errors).
double ContractionDistance(const DietRun& run, size_t i);

// percent of the diagonal of the bounding box of the run's vertices, in the
// run's (normalised) frame.
double BudgetDistance(double percent, const DietRun& run);

}  // namespace zelfin
