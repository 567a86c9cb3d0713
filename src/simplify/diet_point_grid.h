#pragma once
// Finds, among the points added so far, the lowest index that SamePoint
// accepts: the answer of the plain FindSamePoint scan, without the scan.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "simplify/diet_model.h"

namespace zelfin {

class PointGrid {
 public:
  // expected: how many points will be added (sizes the table once).
  explicit PointGrid(size_t expected);

  // The lowest index i < index of an added point with SamePoint(points[i], P),
  // or index when there is none; then adds P as point `index`. Points must be
  // added in increasing index order, all of them, unchanged afterwards.
  int32_t FindLowestAndAdd(const std::vector<TDietVec>& points, const TDietVec& P, int32_t index);

  // Asks for the memory that FindLowestAndAdd(P) will read first: the slot
  // of P's cell (returned, kNoSlot where the grid is not used), and then, once
  // that slot is in the cache, the point that holds it. A look-up is a cache
  // miss or two; asked for a batch ahead, the misses overlap.
  static constexpr size_t kNoSlot = SIZE_MAX;
  size_t Prefetch(const TDietVec& P) const;
  void PrefetchHead(const std::vector<TDietVec>& points, size_t slot) const;

 private:
  // A cell's points as a chain through next_; the cell itself is known from
  // the position of its first point, so a slot is only two indices.
  struct Cell {
    int32_t head = -1;  // lowest index in the cell, -1 for an empty slot
    int32_t tail = -1;
  };
  size_t HashSlot(const TDietVec& P) const;
  size_t Slot(const std::vector<TDietVec>& points, int32_t x, int32_t y, int32_t z) const;
  void Grow(const std::vector<TDietVec>& points);
  static int32_t Scan(const std::vector<TDietVec>& points, const TDietVec& P, int32_t count);

  std::vector<Cell> cells_;
  std::vector<int32_t> next_;  // next higher index in the same cell
  size_t used_ = 0;
  bool scan_ = false;  // a point beyond the grid's range: scan instead
};

}  // namespace zelfin
