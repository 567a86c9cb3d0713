#include "real/real_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace zelfin::bench {

namespace {

// Refined against one peer over the cases where both ran.
struct Tally {
  size_t cases = 0, hausdorff = 0, rms = 0;   // cases, and those where refined is no further
  double worst_hausdorff = 0, worst_rms = 0;  // largest refined / peer
};

double Ratio(double refined, double peer) {
  if (peer > 0) return refined / peer;
  return refined > 0 ? std::numeric_limits<double>::infinity() : 1;
}

// The peer's result to hold refined against: the better of meshoptimizer's
// two per measure, or CGAL's one.
bool PeerResult(const Case& c, bool meshopt, Result& peer) {
  if (!meshopt) {
    peer = c.result[kCgal];
    return peer.ran;
  }
  const Result &s = c.result[kMoSimplify], &u = c.result[kMoUpdate];
  if (!s.ran || !u.ran) {
    peer = s.ran ? s : u;
    return peer.ran;
  }
  peer = s;
  peer.hausdorff = std::min(s.hausdorff, u.hausdorff);
  peer.rms = std::min(s.rms, u.rms);
  return true;
}

Tally Count(const std::vector<Case>& cases, bool meshopt) {
  Tally t;
  for (const Case& c : cases) {
    const Result& r = c.result[kRefined];
    Result peer;
    if (!r.ran || !PeerResult(c, meshopt, peer)) continue;
    ++t.cases;
    t.hausdorff += r.hausdorff <= peer.hausdorff ? 1 : 0;
    t.rms += r.rms <= peer.rms ? 1 : 0;
    t.worst_hausdorff = std::max(t.worst_hausdorff, Ratio(r.hausdorff, peer.hausdorff));
    t.worst_rms = std::max(t.worst_rms, Ratio(r.rms, peer.rms));
  }
  return t;
}

void PrintTally(const char* peer, const Tally& t) {
  if (t.cases == 0) {
    std::printf("refined against %s: not run\n", peer);
    return;
  }
  std::printf(
      "refined no further than %s: Hausdorff in %zu of %zu cases, RMS in %zu of %zu cases; "
      "worst ratio H %.2f, RMS %.2f\n",
      peer, t.hausdorff, t.cases, t.rms, t.cases, t.worst_hausdorff, t.worst_rms);
}

// Totals of one defect per method, and the cases where refined has more than CGAL.
void PrintDefect(const std::vector<Case>& cases, const char* what, size_t Result::*count) {
  std::printf("%s:", what);
  for (int m = 0; m < kMethods; ++m) {
    size_t total = 0, ran = 0;
    for (const Case& c : cases) {
      total += c.result[m].ran ? c.result[m].*count : 0;
      ran += c.result[m].ran ? 1 : 0;
    }
    std::printf("%s %s %s", m ? "," : "", kMethodNames[m],
                ran ? std::to_string(total).c_str() : "-");
  }
  std::printf("\n  refined above CGAL:");
  size_t above = 0;
  for (const Case& c : cases) {
    const Result &r = c.result[kRefined], &g = c.result[kCgal];
    if (!r.ran || !g.ran || r.*count <= g.*count) continue;
    std::printf("%s %s %d%% (%zu vs %zu)", above++ ? "," : "", c.model.c_str(), c.keep, r.*count,
                g.*count);
  }
  std::printf("%s\n", above ? "" : " none");
}

// Cases where refined has more of the defect than CGAL.
size_t MoreThanCgal(const std::vector<Case>& cases, size_t Result::*count) {
  size_t more = 0;
  for (const Case& c : cases) {
    const Result &r = c.result[kRefined], &g = c.result[kCgal];
    more += r.ran && g.ran && r.*count > g.*count ? 1 : 0;
  }
  return more;
}

const char* Verdict(bool met) {
  return met ? "PASS" : "MISS";
}

// `share` of the cases run, rounded up (22 of 27 stays 22 when all ran).
size_t Needed(size_t cases, double share) {
  return static_cast<size_t>(std::ceil(share * static_cast<double>(cases) - 1e-9));
}

void PrintGoals(const std::vector<Case>& cases, const Tally& mo, const Tally& cgal) {
  std::printf("\ngoals (%zu cases; the counts are set for 27 and scaled to the cases run):\n",
              cases.size());
  if (mo.cases == 0) {
    std::printf("  against meshoptimizer: NOT RUN\n");
  } else {
    const size_t need = Needed(mo.cases, 22.0 / 27);
    std::printf("  Hausdorff no larger than meshoptimizer's better in >= %zu of %zu: %zu: %s\n",
                need, mo.cases, mo.hausdorff, Verdict(mo.hausdorff >= need));
    std::printf("  RMS no larger than meshoptimizer's better in >= %zu of %zu: %zu: %s\n", need,
                mo.cases, mo.rms, Verdict(mo.rms >= need));
    std::printf("  never more than 1.10 x meshoptimizer's better: worst H %.2f, RMS %.2f: %s\n",
                mo.worst_hausdorff, mo.worst_rms,
                Verdict(mo.worst_hausdorff <= 1.10 && mo.worst_rms <= 1.10));
  }
  if (cgal.cases == 0) {
    std::printf("  against CGAL: NOT RUN\n");
    return;
  }
  const size_t folds = MoreThanCgal(cases, &Result::folds);
  const size_t edges = MoreThanCgal(cases, &Result::new_edges);
  std::printf("  fold-overs no more than CGAL's in every case: more in %zu of %zu: %s\n", folds,
              cgal.cases, Verdict(folds == 0));
  std::printf("  new >2-triangle edges no more than CGAL's in every case: more in %zu of %zu: %s\n",
              edges, cgal.cases, Verdict(edges == 0));
  const size_t need = Needed(cgal.cases, 2.0 / 3);
  std::printf(
      "  moonshot: no further than CGAL in >= %zu of %zu on both measures: H %zu, RMS %zu: %s\n",
      need, cgal.cases, cgal.hausdorff, cgal.rms,
      Verdict(cgal.hausdorff >= need && cgal.rms >= need));
}

}  // namespace

void PrintSummary(const std::vector<Case>& cases) {
  std::printf("\nsummary:\n");
  const Tally mo = Count(cases, true), cgal = Count(cases, false);
  PrintTally("meshoptimizer (the better of its two per case and measure)", mo);
  PrintTally("CGAL", cgal);
  PrintDefect(cases, "fold-overs", &Result::folds);
  PrintDefect(cases, "new edges with more than two triangles", &Result::new_edges);
  PrintGoals(cases, mo, cgal);
}

}  // namespace zelfin::bench
