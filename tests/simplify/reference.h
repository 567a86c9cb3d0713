#pragma once
// A literal, scan-everything simplification: every step is the plain loop
// over whole tables, in the order the arithmetic is defined, with no index,
// grid, list or heap. The fast production steps are compared with it bit for
// bit. It expects valid input: a face reference that names no vertex read
// before it, or an unreadable number, raises a ZelfinError here.
//
// Where production has no faster way than the plain one, the reference calls
// production: the vector and matrix routines (diet_geometry.h), the quadric
// error (diet_analysis.h) and the writer (diet_writer.h).
#include <cstdint>
#include <string>

#include "platform/progress_sink.h"
#include "simplify/diet_model.h"

namespace zelfin::ref {

// The lowest index below Count whose point is the same as P, or Count: a scan
// of all of them, where the loader has a grid.
int32_t RefFindSamePoint(const TArV& DietVerts, const TDietVec& P, int32_t Count);

// Loader: fills DietVerts and DietFaces, empties DietPairs.
void RefLoadDietMesh(const std::string& path, DietMesh& mesh);
// The loader on text already in memory (the file's bytes, without BOM).
void RefLoadDietMeshText(const std::string& text, DietMesh& mesh);

// Vertex and pair analysis.
void RefAnalyzeVertices(DietMesh& mesh, ProgressSink& progress);
void RefAnalyzeVertices(DietMesh& mesh);
// The last row of the whole inverse, where production solves for that row alone.
bool RefOptimalPosition(const TDietMatrix& Q, TDietVec& Pos);
void RefEvaluatePair(DietMesh& mesh, int32_t i, int32_t a, int32_t b);
bool RefFindPair(DietMesh& mesh, int32_t a, int32_t b, int32_t count);
void RefAnalyzePairs(DietMesh& mesh, ProgressSink& progress);
void RefAnalyzePairs(DietMesh& mesh);

// Contraction. RefContractMesh sets the caption "Surface Simplification..."
// before its loop, as the production step does.
int64_t RefContractionTarget(int64_t face_count, double keep_ratio);
int32_t RefSelectPair(const DietMesh& mesh);
void RefDeactivatePairs(DietMesh& mesh, int32_t a, int32_t b);
void RefContractPair(DietMesh& mesh, int32_t p, int64_t& R);
void RefContractMesh(DietMesh& mesh, double keep_ratio, ProgressSink& progress);
void RefContractMesh(DietMesh& mesh, double keep_ratio);

// The whole run with its progress calls; returns the text that the run writes.
std::string RefSimplifyText(const std::string& path, double keep_ratio, ProgressSink& progress);

}  // namespace zelfin::ref
