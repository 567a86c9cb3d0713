#include "simplify/diet_point_grid.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/beside.h"
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

size_t CapacityFor(size_t expected) {
  size_t capacity = 16;
  while (capacity < expected * 2) capacity *= 2;
  return capacity;
}

// Which of WeldPoints' threads owns a cell: by blocks of 64 cells per axis,
// so that the cells around a point mostly share their owner.
uint32_t OwnerOf(int32_t x, int32_t y, int32_t z) {
  return static_cast<uint32_t>(SlotHash(x >> 6, y >> 6, z >> 6) >> 63);
}

uint32_t OwnerOf(const TDietVec& P) {
  return OwnerOf(CellOf(P.X), CellOf(P.Y), CellOf(P.Z));
}

}  // namespace

PointGrid::PointGrid(size_t expected)
    : cells_(HugeTable<Cell>(CapacityFor(expected))), next_(own_links_) {
  ReserveHuge(own_links_, expected);
}

PointGrid::PointGrid(size_t expected, std::vector<int32_t>& links)
    : cells_(HugeTable<Cell>(CapacityFor(expected))), next_(links) {}

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
  return FindInGridAndAdd(points, P, index);
}

int32_t PointGrid::FindInGridAndAdd(const std::vector<TDietVec>& points, const TDietVec& P,
                                    int32_t index) {
  const int32_t cx = CellOf(P.X), cy = CellOf(P.Y), cz = CellOf(P.Z);
  int32_t best = index;
  size_t own = 0;
  ForEachNearCell(P, [&](int32_t x, int32_t y, int32_t z) {
    const size_t s = Slot(points, x, y, z);
    if (x == cx && y == cy && z == cz) own = s;
    best = LowestIn(points, s, P, best);
  });
  Append(points, own, index);
  return best;
}

int32_t PointGrid::LowestIn(const std::vector<TDietVec>& points, size_t s, const TDietVec& P,
                            int32_t best) const {
  // Indices run upwards within a cell: the first match is its lowest.
  for (int32_t i = cells_[s].head; i >= 0 && i < best; i = next_[static_cast<size_t>(i)]) {
    if (SamePoint(points[static_cast<size_t>(i)], P)) return i;
  }
  return best;
}

void PointGrid::Append(const std::vector<TDietVec>& points, size_t s, int32_t index) {
  Cell& c = cells_[s];
  if (c.head < 0) {
    c = Cell{index, index};
    if (++used_ * 2 > cells_.size()) Grow(points);
  } else {
    next_[static_cast<size_t>(c.tail)] = index;
    c.tail = index;
  }
}

// One of WeldPoints' threads: the points whose own cell it owns, in order.
// A point whose cells around are all its own is answered at once, as
// FindLowestAndAdd would: every point before it in those cells is in.
// Another is only added, and answered later.
struct PointGrid::Half {
  Half(const std::vector<TDietVec>& points, uint32_t owner, size_t count,
       std::vector<int32_t>& links)
      : points(points), owner(owner), grid(count / 2, links) {}

  const std::vector<TDietVec>& points;
  uint32_t owner;
  PointGrid grid;
  std::vector<int32_t> later;

  void Add(int32_t k, std::vector<int32_t>& same_as) {
    const TDietVec& P = points[static_cast<size_t>(k)];
    bool all_own = true;
    ForEachNearCell(P, [&](int32_t x, int32_t y, int32_t z) {
      all_own = all_own && OwnerOf(x, y, z) == owner;
    });
    if (all_own) {
      same_as[static_cast<size_t>(k)] = grid.FindInGridAndAdd(points, P, k);
      return;
    }
    later.push_back(k);
    grid.Append(points, grid.Slot(points, CellOf(P.X), CellOf(P.Y), CellOf(P.Z)), k);
  }

  // Its points in order, their cells' slots and then the points heading
  // them asked for a batch or two ahead, as in the loader's single pass.
  void Run(size_t count, std::vector<int32_t>& same_as, Heartbeat& heartbeat) {
    std::vector<int32_t> mine;
    mine.reserve(count / 2 + count / 32);
    for (size_t k = 0; k < count; ++k) {
      if (OwnerOf(points[k]) == owner) mine.push_back(static_cast<int32_t>(k));
    }
    constexpr size_t kAhead = 32;
    const size_t n = mine.size();
    for (size_t j = 0; j < std::min(n, 2 * kAhead); ++j)
      grid.Prefetch(points[static_cast<size_t>(mine[j])]);
    for (size_t j = 0; j < n; ++j) {
      if (j + 2 * kAhead < n) grid.Prefetch(points[static_cast<size_t>(mine[j + 2 * kAhead])]);
      if (j + kAhead < n) grid.PrefetchHeads(points, points[static_cast<size_t>(mine[j + kAhead])]);
      Add(mine[j], same_as);
      heartbeat.Beat();
    }
  }
};

std::vector<int32_t> WeldPoints(const std::vector<TDietVec>& points, Heartbeat& heartbeat) {
  const size_t count = points.size();
  std::vector<int32_t> same_as = HugeTable<int32_t>(count);
  if (std::any_of(points.begin(), points.end(), [](const TDietVec& P) { return !InRange(P); })) {
    // One thread in order: the grid steps aside for the scan from the first
    // far point on.
    PointGrid grid(count);
    for (size_t k = 0; k < count; ++k) {
      const int32_t index = static_cast<int32_t>(k);
      same_as[k] = grid.FindLowestAndAdd(points, points[k], index);
      heartbeat.Beat();
    }
    return same_as;
  }
  std::vector<int32_t> links = HugeTable<int32_t>(count, -1);
  std::optional<PointGrid::Half> lanes[2];
  RunBeside(
      heartbeat,
      [&](const Lane& lane) {
        lanes[0].emplace(points, 0, count, links);
        lanes[0]->Run(count, same_as, lane.heartbeat);
      },
      [&](const Lane& lane) {
        lanes[1].emplace(points, 1, count, links);
        lanes[1]->Run(count, same_as, lane.heartbeat);
      });
  // The rest, now that both grids hold every point: each cell is looked up
  // in the grid of its owner.
  for (const std::optional<PointGrid::Half>& lane : lanes) {
    for (const int32_t k : lane->later) {
      const TDietVec& P = points[static_cast<size_t>(k)];
      int32_t best = k;
      PointGrid::ForEachNearCell(P, [&](int32_t x, int32_t y, int32_t z) {
        const PointGrid& grid = lanes[OwnerOf(x, y, z)]->grid;
        best = grid.LowestIn(points, grid.Slot(points, x, y, z), P, best);
      });
      same_as[static_cast<size_t>(k)] = best;
      heartbeat.Beat();
    }
  }
  return same_as;
}
}  // namespace zelfin
