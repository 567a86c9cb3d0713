#pragma once
// A reader of textured OBJ files for the attribute measurements: positions,
// texture coordinates, normals and each triangle's material.
#include <string>

#include "support/mesh_gen.h"

namespace zelfin::bench {

// Reads v, vt, vn, f, usemtl lines into `mesh` (other lines are skipped).
// Corners may be "v", "v/t", "v//n", "v/t/n" or "v//" (an empty normal);
// negative indices count back from the latest line of their kind; polygons
// are cut into fans around their first corner. mesh.vt (mesh.vn) is filled
// only when every corner names a texture coordinate (normal), and
// mesh.material only when the file has a usemtl line; faces before the first
// one get the material "". Returns false with a message on unreadable files,
// bad numbers and references to lines the file does not have.
bool ReadTexturedObj(const std::string& path, gen::TexturedMesh& mesh, std::string& error);

}  // namespace zelfin::bench
