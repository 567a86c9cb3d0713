#pragma once
// What a contraction costs in the refined method, and where it goes.
//
// The border kinds decide which merges may happen and where the merged
// vertex stands: two inside vertices merge at the point of least quadric
// error; an inside vertex merges into a border vertex at the border vertex's
// place, across an edge that is not a border; two border vertices merge only
// along a border edge, at its point of least error, or at the place of the
// one that is locked; two locked vertices never merge. With attributes, the
// cost adds the error of the wedges merged.
#include <cstdint>

#include "simplify/diet_adjacency.h"
#include "simplify/diet_attributes.h"
#include "simplify/diet_borders.h"
#include "simplify/diet_model.h"
#include "simplify/diet_run.h"

namespace zelfin {

struct RefinedPrice {
  bool allowed = false;
  int32_t stays = -1;  // the end that survives; the other one vanishes
  TDietVec pos;
  double cost = 0;
  TDietMatrix Q;  // the sum of the ends' quadrics
  WedgeMerges wedges;
};

// The price of merging the ends of pair (lo, hi) as the run stands now;
// attributes may be null. Its position and quadric mean something only when
// it is allowed.
void PriceRefined(const DietRun& run, const VertexAdjacency& adjacency, const BorderKinds& kinds,
                  const AttributeRun* attributes, int32_t lo, int32_t hi, RefinedPrice& price);

// How many live faces the edge (lo, hi) belongs to.
int FacesOnEdge(const DietRun& run, const VertexAdjacency& adjacency, int32_t lo, int32_t hi);

// The point of least error of Q: its minimiser where Q pins one down, else the
// best point of the segment a..b (its ends included).
TDietVec RefinedPlacement(const TDietMatrix& Q, const TDietVec& a, const TDietVec& b);

// The error of Q at pos (plus extra) per unit of its weight, the trace of its
// 3 x 3 part, which sums its planes' weights since their normals have unit
// length: a weighted mean of the squared distances to its planes.
double MeanSquaredError(const TDietMatrix& Q, const TDietVec& pos, double extra = 0);

// The point of segment a..b where Q's error is least.
TDietVec AlongEdge(const TDietMatrix& Q, const TDietVec& a, const TDietVec& b);

}  // namespace zelfin
