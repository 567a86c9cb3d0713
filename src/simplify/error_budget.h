#pragma once
// The deviation budget of a simplification: contract while the next
// contraction's error stays within a share of the model's size.
//
// The budget bounds the refined method's own estimate of a contraction's
// error, not the measured distance: the cost by which it orders its
// contractions is a mean squared distance in the normalised frame (the
// longest side spans 2): of the merged vertex to the planes of the triangles
// merged into it, half over all of them and half over the worse end's own,
// raised where the drift of the surface is larger (diet_refined_price.h,
// diet_guards.h). Its square root is compared with the budget. The measured
// maximum lies above it, since a mean hides the planes the vertex is
// furthest from.
#include <cstddef>
#include <limits>

#include "simplify/diet_model.h"
#include "simplify/diet_run.h"

namespace zelfin {

// No budget: the triangle count alone ends the contractions.
inline constexpr double kNoBudget = std::numeric_limits<double>::infinity();

// The distance that a refined contraction's cost stands for: its square
// root; 0 for a cost rounded below zero.
double CostDistance(double cost);

// percent of the diagonal of the bounding box of the run's vertices, in the
// run's (normalised) frame.
double BudgetDistance(double percent, const DietRun& run);

}  // namespace zelfin
