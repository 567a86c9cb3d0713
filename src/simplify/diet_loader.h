#pragma once
// Reads an OBJ file into the simplification's tables: every vertex line in
// normalised coordinates (the largest extent spans -1 to 1) linked to the
// earliest coincident vertex, and the faces cut into fans of triangles.
#include <cstdint>
#include <string>
#include <string_view>

#include "simplify/diet_model.h"

namespace zelfin {

// Fills DietVerts and DietFaces and empties DietPairs. Raises ZelfinError
// (naming the file and the line where there is one) on unreadable files,
// short vertex lines, references that name no vertex read before them, and
// coordinates that leave the range of a double or sit all at one point.
void LoadDietMesh(const std::string& path, DietMesh& mesh);

// The same on the file's text (BOM already removed); path names it in errors.
// The text is edited in place (tabs and commas).
void LoadDietMeshText(std::string& text, const std::string& path, DietMesh& mesh);

// The part of token before its first "/", read as a decimal integer with an
// optional sign. False when that part is not an integer (empty included). A
// value beyond int64 saturates; callers treat it as naming no vertex.
bool ReadVertexReference(std::string_view token, int64_t& value);

}  // namespace zelfin
