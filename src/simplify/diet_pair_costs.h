#pragma once
// The classic cost of many pairs at once.
#include <cstddef>

#include "simplify/diet_model.h"
#include "simplify/diet_run.h"

namespace zelfin {

// cost[k] = PricePair(q[ends[k].lo], q[ends[k].hi], pos[..], pos[..]).Cost,
// the same bits. A pair's price is one long chain of dependent divisions
// (OptimalPosition), which leaves the processor waiting; where it has AVX2,
// four pairs go through the chain side by side, each lane doing exactly the
// operations of the single pair in the same order.
void PairCosts(const TDietMatrix* q, const TDietVec* pos, const PairEnds* ends, size_t n,
               double* cost);

}  // namespace zelfin
