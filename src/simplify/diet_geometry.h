#pragma once
// Vector and 4x4 matrix routines of the simplification. Every formula is
// evaluated in the written order: results must match to the last bit.
#include <cstdint>

#include "simplify/diet_model.h"

namespace zelfin {

// Points closer than this on every axis (normalised coordinates) are one point.
inline constexpr double kSamePointTolerance = 1e-8;

// A / |A|, or the zero vector when |A| is 0.
TDietVec VecNormalize(const TDietVec& A);
TDietVec VecCross(const TDietVec& A, const TDietVec& B);
double VecDot(const TDietVec& A, const TDietVec& B);
double VecSqLen(const TDietVec& A);
// Half the parallelogram of B - A and C - A; 0 when rounding makes it imaginary.
double TriangleArea(const TDietVec& A, const TDietVec& B, const TDietVec& C);
// Right-hand normal of A, B, C; the zero vector for a degenerate triangle.
TDietVec TriangleNormal(const TDietVec& A, const TDietVec& B, const TDietVec& C);
// Within the tolerance on every axis, a difference equal to it included.
bool SamePoint(const TDietVec& A, const TDietVec& B);
// The lowest index below Count whose Pos is SamePoint with P, or Count.
int32_t FindSamePoint(const TArV& DietVerts, const TDietVec& P, int32_t Count);

// Partial pivoting through Perm (rows stay in place). False as soon as a
// pivot's magnitude is below 1e-6; LU and Perm are then not to be used.
bool LUDecompose(const TDietMatrix& M, TDietMatrix& LU, TDietPerm& Perm);
// False, with Inv untouched, exactly when LUDecompose fails.
bool MatInverse(const TDietMatrix& M, TDietMatrix& Inv);

}  // namespace zelfin
