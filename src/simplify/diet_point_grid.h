#pragma once
// Finds, among the points added so far, the lowest index that SamePoint
// accepts: the answer of the plain FindSamePoint scan, without the scan.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/heartbeat.h"
#include "simplify/diet_model.h"

namespace zelfin {

// The lowest index i <= k with SamePoint(points[i], points[k]) for every
// point k: what FindLowestAndAdd gives point by point in order, worked out on
// two threads (each owns the cells of half the space; the few points near a
// cell of the other's half are looked up once both are done). Beats
// heartbeat once per point.
std::vector<int32_t> WeldPoints(const std::vector<TDietVec>& points, Heartbeat& heartbeat);

class PointGrid {
 public:
  // expected: how many points will be added (sizes the table once).
  explicit PointGrid(size_t expected);
  PointGrid(const PointGrid&) = delete;
  PointGrid& operator=(const PointGrid&) = delete;

  // The lowest index i < index of an added point with SamePoint(points[i], P),
  // or index when there is none; then adds P as point `index`. Points must be
  // added in increasing index order, all of them, unchanged afterwards.
  int32_t FindLowestAndAdd(const std::vector<TDietVec>& points, const TDietVec& P, int32_t index);

  // Asks for the memory that FindLowestAndAdd(P) will read first: the slots
  // of the cells it looks in (P's own and, for a point within the tolerance
  // of a cell's side, a neighbour or more: a quarter of the points per axis),
  // and then, once those slots are in the cache, the points that head them.
  // A look-up is a cache miss or two per cell; asked for a batch ahead, the
  // misses overlap.
  void Prefetch(const TDietVec& P) const;
  void PrefetchHeads(const std::vector<TDietVec>& points, const TDietVec& P) const;

 private:
  friend std::vector<int32_t> WeldPoints(const std::vector<TDietVec>&, Heartbeat&);
  struct Half;  // one of WeldPoints' two threads
  // A grid of its own for one lane, chaining through the lanes' shared links.
  PointGrid(size_t expected, std::vector<int32_t>& links);

  // A cell's points as a chain through next_; the cell itself is known from
  // the position of its first point, so a slot is only two indices.
  struct Cell {
    int32_t head = -1;  // lowest index in the cell, -1 for an empty slot
    int32_t tail = -1;
  };
  // Calls fn(x, y, z) for the cells within the margin around P.
  template <class Fn>
  static void ForEachNearCell(const TDietVec& P, Fn&& fn);
  size_t HashSlot(int32_t x, int32_t y, int32_t z) const;
  bool Gridded(const TDietVec& P) const;
  size_t Slot(const std::vector<TDietVec>& points, int32_t x, int32_t y, int32_t z) const;
  // FindLowestAndAdd for a point within the grid's range.
  int32_t FindInGridAndAdd(const std::vector<TDietVec>& points, const TDietVec& P, int32_t index);
  // The lowest index below best in slot s's cell that is SamePoint with P, or best.
  int32_t LowestIn(const std::vector<TDietVec>& points, size_t s, const TDietVec& P,
                   int32_t best) const;
  // Adds point index to the cell of slot s (which may then move).
  void Append(const std::vector<TDietVec>& points, size_t s, int32_t index);
  void Grow(const std::vector<TDietVec>& points);
  static int32_t Scan(const std::vector<TDietVec>& points, const TDietVec& P, int32_t count);

  std::vector<Cell> cells_;
  std::vector<int32_t> own_links_;
  std::vector<int32_t>& next_;  // next higher index in the same cell
  size_t used_ = 0;
  bool scan_ = false;  // a point beyond the grid's range: scan instead
};

}  // namespace zelfin
