#pragma once
// The working tables of one simplification run. They hold exactly what the
// defined tables of diet_model.h hold, in a compact form that the hot loops
// can afford at tens of millions of triangles: the defined records are built
// from them only where someone looks at them (diet_tables.h).
//
// A pair keeps the two states (quadric and position) whose sum it was priced
// with: the states of its ends, until an end moves on, when a stale pair keeps
// the state that end left behind. So a stale pair still knows the quadric and
// target it was priced with, at 8 bytes instead of 152.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "simplify/diet_model.h"
#include "simplify/simplify_method.h"

namespace zelfin {

// A triangle's corners in read order. Once it has collapsed, [0] holds ~v, so
// the corners stay readable while [0] < 0 marks the face dead.
using FaceCorners = std::array<int32_t, 3>;

inline bool FaceAlive(const FaceCorners& f) {
  return f[0] >= 0;
}
inline int32_t FaceCorner(const FaceCorners& f, int c) {
  return c == 0 && f[0] < 0 ? ~f[0] : f[c];
}
// A live face with v among its corners.
inline bool FaceHolds(const FaceCorners& f, int32_t v) {
  return FaceAlive(f) && (f[0] == v || f[1] == v || f[2] == v);
}
// The corner of a live face that holds v (one of its corners).
inline int CornerOf(const FaceCorners& f, int32_t v) {
  return f[0] == v ? 0 : f[1] == v ? 1 : 2;
}

// The ends of a vertex pair; lo holds ~lo while the pair is not active.
struct PairEnds {
  int32_t lo, hi;
};

inline bool PairActive(const PairEnds& e) {
  return e.lo >= 0;
}
inline int32_t PairLo(const PairEnds& e) {
  return e.lo >= 0 ? e.lo : ~e.lo;
}
// An active pair with v at one of its ends.
inline bool PairHolds(const PairEnds& e, int32_t v) {
  return PairActive(e) && (e.lo == v || e.hi == v);
}

// The two states whose sum a pair was priced with; or, with hi kOwnState, a
// state of the pair's own (its quadric and target), which only tables handed
// in from outside give.
struct PricedStates {
  uint32_t lo, hi;
};
inline constexpr uint32_t kOwnState = UINT32_MAX;

// Everything of a pair in one record of half a cache line: a contraction
// reads and writes all of it for the pairs around its ends, and at tens of
// millions of triangles each table read apart was a miss of its own.
struct alignas(32) PairSlot {
  PairEnds ends;
  PricedStates priced;
  double cost;
  int32_t place = -1;  // where PairHeap keeps the pair (-1: not in it)
};

// Per-vertex flags.
inline constexpr uint8_t kUsed = 1;         // a live triangle refers to it
inline constexpr uint8_t kMoved = 2;        // it survived a contraction: its position is new
inline constexpr uint8_t kBlockedPair = 4;  // refined: one of its pairs waits, refused

struct DietRun {
  std::vector<uint8_t> flags;  // per vertex
  // States, a quadric and a position each: [0, vertex count) the vertices'
  // own, as they stand now; beyond, states that stale pairs still refer to
  // after their vertex moved on, and the own states of pairs from outside.
  std::vector<TDietMatrix> q;
  std::vector<TDietVec> pos;
  std::vector<FaceCorners> faces;
  std::vector<PairSlot> pairs;

  size_t VertexCount() const { return flags.size(); }
  size_t PairCount() const { return pairs.size(); }
  bool Used(size_t v) const { return (flags[v] & kUsed) != 0; }
};

// The normalisation of a loaded mesh: a coordinate c of axis a was stored as
// (c - m[a]) / s - 1.
struct Normalisation {
  double m[3] = {0, 0, 0};
  double s = 0;
};

// A coordinate c of axis a as the loader stores it.
inline double Normalised(const Normalisation& n, int a, double c) {
  return (c - n.m[a]) / n.s - 1;
}
inline TDietVec Normalised(const Normalisation& n, const TDietVec& c) {
  return {Normalised(n, 0, c.X), Normalised(n, 1, c.Y), Normalised(n, 2, c.Z)};
}

}  // namespace zelfin
