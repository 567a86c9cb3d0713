#pragma once
// A literal, scan-everything simplification: every step is the plain loop
// over whole tables, in the order the arithmetic is defined, with no index,
// grid, list or heap. The fast production steps are compared with it bit for
// bit. It expects valid input: a face reference that names no vertex read
// before it, or an unreadable number, raises a ZelfinError here.
#include <cstdint>
#include <string>

#include "platform/progress_sink.h"
#include "simplify/diet_model.h"

namespace zelfin::ref {

// Geometry.
TDietVec RefVecNormalize(const TDietVec& A);
TDietVec RefVecCross(const TDietVec& A, const TDietVec& B);
double RefVecDot(const TDietVec& A, const TDietVec& B);
double RefVecSqLen(const TDietVec& A);
double RefTriangleArea(const TDietVec& A, const TDietVec& B, const TDietVec& C);
TDietVec RefTriangleNormal(const TDietVec& A, const TDietVec& B, const TDietVec& C);
bool RefSamePoint(const TDietVec& A, const TDietVec& B);
int32_t RefFindSamePoint(const TArV& DietVerts, const TDietVec& P, int32_t Count);
bool RefLUDecompose(const TDietMatrix& M, TDietMatrix& LU, TDietPerm& Perm);
bool RefMatInverse(const TDietMatrix& M, TDietMatrix& Inv);

// Loader: fills DietVerts and DietFaces, empties DietPairs.
void RefLoadDietMesh(const std::string& path, DietMesh& mesh);
// The loader on text already in memory (the file's bytes, without BOM).
void RefLoadDietMeshText(const std::string& text, DietMesh& mesh);

// Vertex and pair analysis.
void RefAnalyzeVertices(DietMesh& mesh, ProgressSink& progress);
void RefAnalyzeVertices(DietMesh& mesh);
bool RefOptimalPosition(const TDietMatrix& Q, TDietVec& Pos);
double RefQuadricError(const TDietMatrix& Q, const TDietVec& P);
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

// Writer.
std::string RefDietOutputPath(const std::string& path, const std::string& folder,
                              double keep_ratio);
std::string RefDietMeshText(const DietMesh& mesh);

// The whole run with its progress calls; returns the text that the run writes.
std::string RefSimplifyText(const std::string& path, double keep_ratio, ProgressSink& progress);

}  // namespace zelfin::ref
