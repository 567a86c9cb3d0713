#pragma once
// Contracts candidate pairs in order of least cost (lowest index on ties)
// until the target number of triangles has gone or no candidate is left.
#include <cstdint>

#include "platform/progress_sink.h"
#include "simplify/diet_adjacency.h"
#include "simplify/diet_attributes.h"
#include "simplify/diet_loader.h"
#include "simplify/diet_model.h"
#include "simplify/diet_run.h"
#include "simplify/error_budget.h"

namespace zelfin {

// Triangles to remove: (1 - keep_ratio) * face_count, rounded half to even.
int64_t ContractionTarget(int64_t face_count, double keep_ratio);

// The whole loop on a run: captions "Surface Simplification...", moves the bar
// over 50..100 at about twenty marks. The classic method re-prices only the
// pairs it re-targets, so the other pairs of the survivor keep stale costs;
// the refined method re-prices every active pair of the survivor as well.
// With attributes (refined only), merges keep the attribute borders intact and
// pay for the attribute error too; the loop ends early when no pair may merge.
// With a budget (max_distance, in the run's frame; see error_budget.h) the
// loop also ends before the first pair whose error estimate exceeds it, and
// keep_ratio is a floor. adjacency: blocks made ready ahead (Prepare), or
// none. loaded: the load's coordinates (raw, when kept), from which the
// refined guard takes where each vertex was loaded instead of a copy.
void ContractMesh(DietRun& run, double keep_ratio, SimplifyMethod method, ProgressSink& progress,
                  AttributeRun* attributes = nullptr, double max_distance = kNoBudget,
                  VertexAdjacency adjacency = {}, const LoadedMesh* loaded = nullptr);

// The same on the defined tables.
void ContractMesh(DietMesh& mesh, double keep_ratio, ProgressSink& progress,
                  SimplifyMethod method = SimplifyMethod::kClassic);

}  // namespace zelfin
