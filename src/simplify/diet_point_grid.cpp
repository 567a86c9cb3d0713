#include "simplify/diet_point_grid.h"

#include <cmath>

#include "platform/huge_pages.h"
#include "platform/prefetch.h"
#include "simplify/diet_geometry.h"

namespace zelfin {

namespace {

// Cells of 2^-23 (about 1.2e-7) per axis: a power of two, so that the cell of
// a coordinate is exact, and wide against the tolerance, so that a look-up
// mostly touches one cell.
constexpr double kCellsPerUnit = 8388608.0;
// Normalised coordinates stay within [-1, 1] up to rounding; beyond this the
// grid steps aside for the plain scan.
constexpr double kGridRange = 64.0;
// Wider than the tolerance, so that every point within it on an axis lies in
// a cell between the cells of P - margin and P + margin.
constexpr double kMargin = kSamePointTolerance * 1.5;

int32_t CellOf(double v) {
  return static_cast<int32_t>(std::floor(v * kCellsPerUnit));
}

bool InRange(const TDietVec& P) {
  return std::fabs(P.X) <= kGridRange && std::fabs(P.Y) <= kGridRange &&
         std::fabs(P.Z) <= kGridRange;
}

uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return h;
}

uint64_t SlotHash(int32_t x, int32_t y, int32_t z) {
  const uint64_t k =
      (static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) | static_cast<uint32_t>(y);
  return Mix(k ^ Mix(static_cast<uint32_t>(z) + 0x9e3779b97f4a7c15ULL));
}

}  // namespace

PointGrid::PointGrid(size_t expected) {
  size_t capacity = 16;
  while (capacity < expected * 2) capacity *= 2;
  cells_ = HugeTable<Cell>(capacity);
  ReserveHuge(next_, expected);
}

size_t PointGrid::Slot(const std::vector<TDietVec>& points, int32_t x, int32_t y, int32_t z) const {
  const size_t mask = cells_.size() - 1;
  size_t s = static_cast<size_t>(SlotHash(x, y, z)) & mask;
  for (;; s = (s + 1) & mask) {
    const int32_t head = cells_[s].head;
    if (head < 0) return s;
    const TDietVec& p = points[static_cast<size_t>(head)];
    if (CellOf(p.X) == x && CellOf(p.Y) == y && CellOf(p.Z) == z) return s;
  }
}

size_t PointGrid::HashSlot(int32_t x, int32_t y, int32_t z) const {
  return static_cast<size_t>(SlotHash(x, y, z)) & (cells_.size() - 1);
}

template <class Fn>
void PointGrid::ForEachNearCell(const TDietVec& P, Fn&& fn) {
  const int32_t x0 = CellOf(P.X - kMargin), x1 = CellOf(P.X + kMargin);
  const int32_t y0 = CellOf(P.Y - kMargin), y1 = CellOf(P.Y + kMargin);
  const int32_t z0 = CellOf(P.Z - kMargin), z1 = CellOf(P.Z + kMargin);
  for (int32_t x = x0; x <= x1; ++x) {
    for (int32_t y = y0; y <= y1; ++y) {
      for (int32_t z = z0; z <= z1; ++z) fn(x, y, z);
    }
  }
}

bool PointGrid::Gridded(const TDietVec& P) const {
  return !scan_ && InRange(P);
}

void PointGrid::Prefetch(const TDietVec& P) const {
  if (!Gridded(P)) return;
  ForEachNearCell(
      P, [&](int32_t x, int32_t y, int32_t z) { PrefetchLine(&cells_[HashSlot(x, y, z)]); });
}

void PointGrid::PrefetchHeads(const std::vector<TDietVec>& points, const TDietVec& P) const {
  if (!Gridded(P)) return;
  ForEachNearCell(P, [&](int32_t x, int32_t y, int32_t z) {
    const int32_t head = cells_[HashSlot(x, y, z)].head;
    if (head >= 0 && static_cast<size_t>(head) < points.size())
      PrefetchLine(&points[static_cast<size_t>(head)]);
  });
}

void PointGrid::Grow(const std::vector<TDietVec>& points) {
  std::vector<Cell> old;
  old.swap(cells_);
  cells_.resize(old.size() * 2);
  for (const Cell& c : old) {
    if (c.head < 0) continue;
    const TDietVec& p = points[static_cast<size_t>(c.head)];
    cells_[Slot(points, CellOf(p.X), CellOf(p.Y), CellOf(p.Z))] = c;
  }
}

int32_t PointGrid::Scan(const std::vector<TDietVec>& points, const TDietVec& P, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    if (SamePoint(points[static_cast<size_t>(i)], P)) return i;
  }
  return count;
}

int32_t PointGrid::FindLowestAndAdd(const std::vector<TDietVec>& points, const TDietVec& P,
                                    int32_t index) {
  next_.push_back(-1);
  if (!scan_ && !InRange(P)) scan_ = true;
  if (scan_) return Scan(points, P, index);

  const int32_t cx = CellOf(P.X), cy = CellOf(P.Y), cz = CellOf(P.Z);
  int32_t best = index;
  size_t own = 0;
  ForEachNearCell(P, [&](int32_t x, int32_t y, int32_t z) {
    const size_t s = Slot(points, x, y, z);
    if (x == cx && y == cy && z == cz) own = s;
    // Indices run upwards within a cell: the first match is its lowest.
    for (int32_t i = cells_[s].head; i >= 0 && i < best; i = next_[static_cast<size_t>(i)]) {
      if (SamePoint(points[static_cast<size_t>(i)], P)) {
        best = i;
        break;
      }
    }
  });
  Cell& c = cells_[own];
  if (c.head < 0) {
    c = Cell{index, index};
    if (++used_ * 2 > cells_.size()) Grow(points);
  } else {
    next_[static_cast<size_t>(c.tail)] = index;
    c.tail = index;
  }
  return best;
}
}  // namespace zelfin
