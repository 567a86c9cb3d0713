#pragma once
// Contracts candidate pairs in order of least cost (lowest index on ties)
// until the target number of triangles has gone or no candidate is left.
#include <cstdint>

#include "platform/progress_sink.h"
#include "simplify/diet_model.h"

namespace zelfin {

// Triangles to remove: (1 - keep_ratio) * face_count, rounded half to even.
int64_t ContractionTarget(int64_t face_count, double keep_ratio);

// The whole loop: captions "Surface Simplification...", moves the bar over
// 50..100 at about twenty marks. A pair's cost is only recomputed when the
// pair is re-targeted; stale costs of other pairs stay as they are.
void ContractMesh(DietMesh& mesh, double keep_ratio, ProgressSink& progress);

}  // namespace zelfin
