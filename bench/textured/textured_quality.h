#pragma once
// simplify_quality --textured: the refined simplification of a textured
// model (UVs with a seam, normals, two materials) next to meshoptimizer's
// attribute-aware simplification, run through bench/meshopt_attributes.mjs.

namespace zelfin::bench {

// Checks the textured generator, the textured OBJ reader and the attribute
// measurements on small meshes whose answers are known; prints the verdict.
bool TexturedSelfCheck(int threads);

// Measures and prints the table and the goals; the exit status for main.
int RunTexturedQuality(int threads);

}  // namespace zelfin::bench
