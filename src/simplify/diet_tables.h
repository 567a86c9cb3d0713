#pragma once
// Between the defined tables (diet_model.h) and a run's compact ones
// (diet_run.h): the steps work on a run; these let them be called on tables,
// as the tests and the literal reference see them.
#include "simplify/diet_model.h"
#include "simplify/diet_run.h"

namespace zelfin {

// A run that holds exactly what the tables hold; a pair keeps its quadric and
// target as a state of its own. Without with_pairs the run has no pairs and
// no states beyond the vertices'.
DietRun RunFromTables(const DietMesh& mesh, bool with_pairs = true);

// The run's state written into the tables: Used, Pos and Q of the vertices;
// Alive and Verts of the faces (Normal, Area and SameAs are left as they are);
// the whole pair table.
void RunToTables(const DietRun& run, DietMesh& mesh);

}  // namespace zelfin
