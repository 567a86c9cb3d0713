#include "simplify/simplify_file.h"

#include <optional>

#include "platform/text_file.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_attributes.h"
#include "simplify/diet_contraction.h"
#include "simplify/diet_loader.h"
#include "simplify/diet_writer.h"

namespace zelfin {

namespace {

void RunSteps(const std::string& path, const std::string& folder, double keep_ratio,
              ProgressSink& progress, SimplifyMethod method) {
  DietRun run;
  LoadedMesh loaded;
  progress.SetCaption("Loading File...");
  progress.ProcessMessages();
  {
    const FileText text(path);
    LoadWants wants;
    wants.raw = wants.attributes = method == SimplifyMethod::kRefined;
    LoadDietRun(text.text(), path, progress, wants, run, loaded);
    text.CheckUnchanged();
  }
  // The refined method keeps the attributes that the file has.
  std::optional<AttributeRun> attributes;
  if (loaded.attributes.any) attributes = BuildAttributes(run, std::move(loaded.attributes));
  AttributeRun* with = attributes ? &*attributes : nullptr;
  progress.SetCaption("Analyzing Vertex information...");
  progress.ProcessMessages();
  AnalyzeVertices(run, progress);
  progress.SetCaption("Analyzing Vertex Pair information...");
  progress.ProcessMessages();
  // The refined method prices the pairs again by its own rules.
  AnalyzePairs(run, progress, method == SimplifyMethod::kClassic);
  ContractMesh(run, keep_ratio, method, progress, with);
  // The pairs are no longer needed; give their memory back before writing.
  run.ends = std::vector<PairEnds>();
  run.priced = std::vector<PricedStates>();
  run.cost = std::vector<double>();
  WriteDietMesh(path, folder, keep_ratio, run, loaded, method, with, progress);
  // Giving back gigabytes takes a moment too: table by table, the window
  // having its turn in between.
  for (const auto release : {+[](DietRun& r) { r.q = std::vector<TDietMatrix>(); },
                             +[](DietRun& r) { r.pos = std::vector<TDietVec>(); },
                             +[](DietRun& r) { r.faces = std::vector<FaceCorners>(); }}) {
    release(run);
    progress.KeepResponsive();
  }
}

}  // namespace

void SimplifyFile(const std::string& path, const std::string& folder, double keep_ratio,
                  ProgressSink& progress, SimplifyMethod method) {
  progress.SetPosition(0);
  progress.Show();
  try {
    RunSteps(path, folder, keep_ratio, progress, method);
  } catch (...) {
    progress.Hide();
    throw;
  }
  progress.Hide();
}

}  // namespace zelfin
