#pragma once
// Vector and 4x4 matrix routines of the simplification. Every formula is
// evaluated in the written order: results must match to the last bit.
#include <cmath>
#include <cstdint>

#include "simplify/diet_model.h"

namespace zelfin {

// Points closer than this on every axis (normalised coordinates) are one point.
inline constexpr double kSamePointTolerance = 1e-8;

// A / |A|, or the zero vector when |A| is 0.
TDietVec VecNormalize(const TDietVec& A);
// Inline: the hot loops call them for every face around a vertex.
inline TDietVec VecCross(const TDietVec& A, const TDietVec& B) {
  return {A.Y * B.Z - A.Z * B.Y, A.Z * B.X - A.X * B.Z, A.X * B.Y - A.Y * B.X};
}
inline double VecDot(const TDietVec& A, const TDietVec& B) {
  return A.X * B.X + A.Y * B.Y + A.Z * B.Z;
}
inline double VecSqLen(const TDietVec& A) {
  return A.X * A.X + A.Y * A.Y + A.Z * A.Z;
}
inline TDietVec VecSub(const TDietVec& A, const TDietVec& B) {
  return {A.X - B.X, A.Y - B.Y, A.Z - B.Z};
}
// Half the parallelogram of B - A and C - A; 0 when rounding makes it imaginary.
double TriangleArea(const TDietVec& A, const TDietVec& B, const TDietVec& C);
// Right-hand normal of A, B, C; the zero vector for a degenerate triangle.
TDietVec TriangleNormal(const TDietVec& A, const TDietVec& B, const TDietVec& C);
// Within the tolerance on every axis, a difference equal to it included.
inline bool SamePoint(const TDietVec& A, const TDietVec& B) {
  return std::fabs(A.X - B.X) <= kSamePointTolerance &&
         std::fabs(A.Y - B.Y) <= kSamePointTolerance && std::fabs(A.Z - B.Z) <= kSamePointTolerance;
}
// The lowest index below Count whose Pos is SamePoint with P, or Count.
int32_t FindSamePoint(const TArV& DietVerts, const TDietVec& P, int32_t Count);

// Partial pivoting through Perm (rows stay in place). False as soon as a
// pivot's magnitude is below 1e-6; LU and Perm are then not to be used.
bool LUDecompose(const TDietMatrix& M, TDietMatrix& LU, TDietPerm& Perm);
// False, with Inv untouched, exactly when LUDecompose fails.
bool MatInverse(const TDietMatrix& M, TDietMatrix& Inv);

}  // namespace zelfin
