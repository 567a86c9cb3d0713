#pragma once
// The error quadric of every vertex, and the table of vertex pairs (one per
// distinct triangle edge) with their merged quadric, target and cost.
#include <cstdint>
#include <memory>

#include "platform/heartbeat.h"
#include "platform/progress_sink.h"
#include "simplify/diet_model.h"
#include "simplify/diet_run.h"

namespace zelfin {

// Q of every vertex: the area-weighted sum of the plane products of the live
// triangles that use it, in increasing triangle order; zero for unused ones.
// Moves the bar over 0..25 at about twenty marks. The planes come from the
// positions. A run.q of one state per vertex is taken to hold zeros (the
// loader's); any other is made so.
void AnalyzeVertices(DietRun& run, ProgressSink& progress);

// The same on the defined tables, the planes from each face's Normal and Area.
void AnalyzeVertices(DietMesh& mesh, ProgressSink& progress);

// The distinct edges of the run's faces, numbered in order of first
// discovery (faces in order, edges 0-1, 1-2, 2-0): per slot 3j + e, edge e of
// face j, its number (-1 for an edge of one vertex twice). It reads the faces
// alone, so it may run beside AnalyzeVertices.
struct EdgeNumbers {
  std::unique_ptr<int32_t[]> of_slot;
  int32_t count = 0;
};
EdgeNumbers NumberEdges(const DietRun& run, Heartbeat& heartbeat);

// One pair per distinct edge, in order of first discovery, priced with its
// ends' states. A pair is active when its edge belongs to two or more
// triangles. Moves the bar over 25..50 at about twenty marks. price false
// leaves the costs 0, for a method that prices the pairs by rules of its own.
void AnalyzePairs(DietRun& run, EdgeNumbers edges, ProgressSink& progress, bool price = true);
void AnalyzePairs(DietRun& run, ProgressSink& progress, bool price = true);

// The same on the defined tables: rebuilds DietPairs.
void AnalyzePairs(DietMesh& mesh, ProgressSink& progress);

// What merging two states costs: their summed quadric, its optimal position
// or else the midpoint of the two positions, and the error there.
struct PairPrice {
  TDietMatrix Q;
  TDietVec Pos;
  double Cost;
};
void PricePair(const TDietMatrix& Qlo, const TDietMatrix& Qhi, const TDietVec& Plo,
               const TDietVec& Phi, PairPrice& price);

// The price of run pair i from the states it was priced with.
void PriceOf(const DietRun& run, size_t i, PairPrice& price);

// Entry i of DietPairs becomes the pair (a, b), a < b: the sum of their
// current quadrics, the optimal position or else the midpoint, its cost; and
// Active.
void EvaluatePair(DietMesh& mesh, int32_t i, int32_t a, int32_t b);

// The minimiser of the quadric, from the inverse of Q with its last column
// set to (0, 0, 0, 1); false when that matrix has a pivot below 1e-6.
bool OptimalPosition(const TDietMatrix& Q, TDietVec& pos);

// (x, y, z, 1) Q (x, y, z, 1)^T, column sums first.
double QuadricError(const TDietMatrix& Q, const TDietVec& p);

}  // namespace zelfin
