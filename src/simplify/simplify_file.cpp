#include "simplify/simplify_file.h"

#include "simplify/diet_analysis.h"
#include "simplify/diet_contraction.h"
#include "simplify/diet_loader.h"
#include "simplify/diet_model.h"
#include "simplify/diet_writer.h"

namespace zelfin {

namespace {

void RunSteps(const std::string& path, const std::string& folder, double keep_ratio,
              ProgressSink& progress) {
  DietMesh mesh;
  progress.SetCaption("Loading File...");
  progress.ProcessMessages();
  LoadDietMesh(path, mesh);
  progress.SetCaption("Analyzing Vertex information...");
  progress.ProcessMessages();
  AnalyzeVertices(mesh, progress);
  progress.SetCaption("Analyzing Vertex Pair information...");
  progress.ProcessMessages();
  AnalyzePairs(mesh, progress);
  ContractMesh(mesh, keep_ratio, progress);
  // The pair table is no longer needed; give its memory back before the text is built.
  mesh.DietPairs = TArP();
  WriteDietMesh(path, folder, keep_ratio, mesh);
}

}  // namespace

void SimplifyFile(const std::string& path, const std::string& folder, double keep_ratio,
                  ProgressSink& progress) {
  progress.SetPosition(0);
  progress.Show();
  try {
    RunSteps(path, folder, keep_ratio, progress);
  } catch (...) {
    progress.Hide();
    throw;
  }
  progress.Hide();
}

}  // namespace zelfin
