#pragma once
// What a simplification of the refined method may not do to a surface, read
// off the defined tables before and after the contraction.
#include <string>

#include "simplify/diet_model.h"

namespace zelfin::test {

// "" when every live face of `result` faces the way it was loaded (its
// Normal in `loaded`), or has no direction left, and no edge of live faces
// has more than two of them unless the loaded mesh had that edge so too;
// else the first fault found, in words.
std::string SurfaceFault(const DietMesh& loaded, const DietMesh& result);

}  // namespace zelfin::test
