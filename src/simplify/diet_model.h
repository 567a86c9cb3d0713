#pragma once
// The mesh that one simplification run works on: vertices, triangles and
// vertex pairs, indexed from 0. Removal only clears Used, Alive or Active, so
// indices stay valid for the whole run.
#include <array>
#include <cstdint>
#include <vector>

namespace zelfin {

struct TDietVec {
  double X = 0, Y = 0, Z = 0;
};

// 4x4, [row][column].
struct alignas(64) TDietMatrix {  // two cache lines, never three
  double m[4][4] = {};
};

// Row order chosen by LUDecompose.
using TDietPerm = std::array<uint8_t, 4>;

struct TDietVertex {
  bool Used = false;   // a live triangle refers to it
  int32_t SameAs = 0;  // earliest earlier vertex at the same point, or itself
  TDietVec Pos;        // normalised coordinates
  TDietMatrix Q;       // error quadric
};

struct TDietFace {
  bool Alive = false;
  int32_t Verts[3] = {0, 0, 0};  // read order fixes the normal's direction
  TDietVec Normal;               // at load time; unit length or zero
  double Area = 0;               // at load time
};

struct TDietPair {
  bool Active = false;  // may be chosen for contraction
  int32_t VertLo = 0;   // vanishes when contracted
  int32_t VertHi = 0;   // survives, takes Pos and Q
  double Cost = 0;      // QuadricError(Q, Pos)
  TDietVec Pos;
  TDietMatrix Q;  // Q of VertLo + Q of VertHi when evaluated
};

using TArV = std::vector<TDietVertex>;
using TArF = std::vector<TDietFace>;
using TArP = std::vector<TDietPair>;

// The tables of one run; one call creates it and drops it.
struct DietMesh {
  TArV DietVerts;
  TArF DietFaces;
  TArP DietPairs;
};

}  // namespace zelfin
