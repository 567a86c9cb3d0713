#pragma once
// The deviation budget of a simplification: contract while the next
// contraction's error stays within a share of the model's size.
//
// The budget bounds two things of each contraction, both in the normalised
// frame (the longest side spans 2):
// - the refined method's own estimate of its error, the cost by which it
//   orders its contractions: a mean squared distance of the merged vertex to
//   the planes of the triangles merged into it, half over all of them and
//   half over the worse end's own (diet_refined_price.h); its square root;
// - the drift: how far the surface moves there, from where the two ends were
//   loaded to the new faces and from the new place to the old faces
//   (diet_guards.h). A mean hides the planes the vertex is furthest from;
//   the drift shows them.
// The measured maximum may still lie a little above the budget: the drift
// looks at the two ends, not at the vertices merged into them before.
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
