// The classic cost of many pairs at once: OptimalPosition and QuadricError
// in four lanes.
#include "simplify/diet_pair_costs.h"

#include <algorithm>

#include "simplify/diet_analysis.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZELFIN_PAIR_COSTS_AVX 1
#endif

namespace zelfin {
namespace {

#ifdef ZELFIN_PAIR_COSTS_AVX

// AVX2, not AVX alone: without its integer lanes the compiler turns the
// selections below back into a branch per lane.
#define WITH_AVX2 __attribute__((target("avx2")))

// The double at offset in each of four tables, lane l from table p[l].
WITH_AVX2 inline __m256d Lanes(const double* const* p, size_t offset) {
  return _mm256_set_pd(p[3][offset], p[2][offset], p[1][offset], p[0][offset]);
}

WITH_AVX2 inline __m256d Abs(__m256d x) {
  return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x);
}

// OptimalPosition in four lanes. Its row exchanges become selections: for
// each lane the row that wins the pivot (the earliest of equal magnitudes)
// trades places with row k, and a lane whose pivot fails is marked in ok and
// carries on with values nobody reads.
WITH_AVX2 void OptimalPositions(const __m256d (&Q)[4][4], __m256d (&pos)[3], __m256d& ok) {
  const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
  __m256d a[4][4], perm[4];
#pragma GCC unroll 4
  for (int r = 0; r < 4; ++r) {
#pragma GCC unroll 4
    for (int c = 0; c < 3; ++c) a[r][c] = Q[r][c];
    a[r][3] = r == 3 ? one : zero;
    perm[r] = _mm256_set1_pd(r);
  }
  ok = _mm256_cmp_pd(zero, zero, _CMP_EQ_OQ);
#pragma GCC unroll 4
  for (int k = 0; k < 4; ++k) {
    __m256d largest = Abs(a[k][k]), chosen[4] = {};
#pragma GCC unroll 4
    for (int j = k + 1; j < 4; ++j) {
      const __m256d m = Abs(a[j][k]), greater = _mm256_cmp_pd(m, largest, _CMP_GT_OQ);
      largest = _mm256_blendv_pd(largest, m, greater);
#pragma GCC unroll 4
      for (int i = k + 1; i < j; ++i) chosen[i] = _mm256_andnot_pd(greater, chosen[i]);
      chosen[j] = greater;
    }
    __m256d row[4] = {a[k][0], a[k][1], a[k][2], a[k][3]}, row_perm = perm[k];
#pragma GCC unroll 4
    for (int j = k + 1; j < 4; ++j) {
#pragma GCC unroll 4
      for (int c = 0; c < 4; ++c) {
        row[c] = _mm256_blendv_pd(row[c], a[j][c], chosen[j]);
        a[j][c] = _mm256_blendv_pd(a[j][c], a[k][c], chosen[j]);
      }
      row_perm = _mm256_blendv_pd(row_perm, perm[j], chosen[j]);
      perm[j] = _mm256_blendv_pd(perm[j], perm[k], chosen[j]);
    }
#pragma GCC unroll 4
    for (int c = 0; c < 4; ++c) a[k][c] = row[c];
    perm[k] = row_perm;
    const __m256d p = a[k][k];
    ok = _mm256_and_pd(ok, _mm256_cmp_pd(Abs(p), _mm256_set1_pd(1e-6), _CMP_GE_OQ));
#pragma GCC unroll 4
    for (int i = k + 1; i < 4; ++i) {
      const __m256d f = _mm256_div_pd(a[i][k], p);
      a[i][k] = f;
#pragma GCC unroll 4
      for (int j = k + 1; j < 4; ++j) a[i][j] = _mm256_sub_pd(a[i][j], _mm256_mul_pd(f, a[k][j]));
    }
  }
#pragma GCC unroll 4
  for (int c = 0; c < 3; ++c) {
    __m256d y[4];
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i) {
      __m256d t = _mm256_and_pd(_mm256_cmp_pd(perm[i], _mm256_set1_pd(c), _CMP_EQ_OQ), one);
#pragma GCC unroll 4
      for (int j = 0; j < i; ++j) t = _mm256_sub_pd(t, _mm256_mul_pd(a[i][j], y[j]));
      y[i] = t;
    }
    pos[c] = _mm256_div_pd(y[3], a[3][3]);
  }
}

// PricePair's cost for four pairs, one per lane.
WITH_AVX2 void PriceFour(const TDietMatrix* q, const TDietVec* pos, const PairEnds* ends,
                         double* cost) {
  const double *qlo[4], *qhi[4], *plo[4], *phi[4];
#pragma GCC unroll 4
  for (int l = 0; l < 4; ++l) {
    qlo[l] = &q[ends[l].lo].m[0][0];
    qhi[l] = &q[ends[l].hi].m[0][0];
    plo[l] = &pos[ends[l].lo].X;
    phi[l] = &pos[ends[l].hi].X;
  }
  __m256d Q[4][4];
#pragma GCC unroll 4
  for (int r = 0; r < 4; ++r) {
#pragma GCC unroll 4
    for (int c = 0; c < 4; ++c) {
      const size_t at = static_cast<size_t>(r * 4 + c);
      Q[r][c] = _mm256_add_pd(Lanes(qlo, at), Lanes(qhi, at));
    }
  }
  __m256d p[3], ok;
  OptimalPositions(Q, p, ok);
  // The positions are read only when a lane wants its middle: mostly none
  // does, and they are not at hand.
  if (_mm256_movemask_pd(ok) != 0xF) {
    const __m256d two = _mm256_set1_pd(2.0);
#pragma GCC unroll 4
    for (int c = 0; c < 3; ++c) {
      const size_t at = static_cast<size_t>(c);
      const __m256d middle = _mm256_div_pd(_mm256_add_pd(Lanes(phi, at), Lanes(plo, at)), two);
      p[c] = _mm256_blendv_pd(middle, p[c], ok);
    }
  }
  __m256d t[4];
#pragma GCC unroll 4
  for (int c = 0; c < 4; ++c) {
    __m256d s = _mm256_mul_pd(p[0], Q[0][c]);
    s = _mm256_add_pd(s, _mm256_mul_pd(p[1], Q[1][c]));
    s = _mm256_add_pd(s, _mm256_mul_pd(p[2], Q[2][c]));
    t[c] = _mm256_add_pd(s, Q[3][c]);
  }
  __m256d e = _mm256_mul_pd(t[0], p[0]);
  e = _mm256_add_pd(e, _mm256_mul_pd(t[1], p[1]));
  e = _mm256_add_pd(e, _mm256_mul_pd(t[2], p[2]));
  _mm256_storeu_pd(cost, _mm256_add_pd(e, t[3]));
}

#undef WITH_AVX2

#endif

}  // namespace

void PairCosts(const TDietMatrix* q, const TDietVec* pos, const PairEnds* ends, size_t n,
               double* cost) {
  size_t k = 0;
#ifdef ZELFIN_PAIR_COSTS_AVX
  if (__builtin_cpu_supports("avx2")) {
    for (; k + 4 <= n; k += 4) PriceFour(q, pos, ends + k, cost + k);
    if (k == n) return;
    // The last few fill the lanes up with the last pair again.
    PairEnds last[4];
    double four[4];
    for (size_t l = 0; l < 4; ++l) last[l] = ends[std::min(k + l, n - 1)];
    PriceFour(q, pos, last, four);
    std::copy(four, four + (n - k), cost + k);
    return;
  }
#endif
  for (; k < n; ++k) {
    PairPrice price;
    const size_t lo = static_cast<size_t>(ends[k].lo), hi = static_cast<size_t>(ends[k].hi);
    PricePair(q[lo], q[hi], pos[lo], pos[hi], price);
    cost[k] = price.Cost;
  }
}

}  // namespace zelfin
