#include "simplify/simplify_file.h"

#include <charconv>
#include <new>
#include <optional>
#include <utility>

#include "platform/beside.h"
#include "platform/heartbeat.h"
#include "platform/huge_pages.h"
#include "platform/material_library.h"
#include "platform/paths.h"
#include "platform/text_file.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_attributes.h"
#include "simplify/diet_contraction.h"
#include "simplify/diet_loader.h"
#include "simplify/diet_writer.h"
#include "simplify/error_budget.h"

namespace zelfin {

namespace {

int64_t LiveFaces(const DietRun& run) {
  int64_t n = 0;
  for (const FaceCorners& f : run.faces) n += FaceAlive(f) ? 1 : 0;
  return n;
}

// Every vertex line normalised again from its coordinates as written (the
// loader's arithmetic), x, y, z each.
std::vector<double> NormalisedInput(const LoadedMesh& loaded) {
  std::vector<double> xyz;
  ReserveHuge(xyz, 3 * loaded.raw.size());
  for (const TDietVec& c : loaded.raw) {
    const TDietVec p = Normalised(loaded.norm, c);
    xyz.insert(xyz.end(), {p.X, p.Y, p.Z});
  }
  return xyz;
}

// The input as loaded, in the normalised frame, with the triangles as they
// stood before any contraction.
TriMesh InputSurface(const LoadedMesh& loaded, const std::vector<FaceCorners>& faces) {
  TriMesh mesh;
  mesh.xyz = NormalisedInput(loaded);
  ReserveHuge(mesh.tri, 3 * faces.size());
  for (const FaceCorners& f : faces) {
    for (const int32_t v : f) mesh.tri.push_back(static_cast<uint32_t>(v));
  }
  return mesh;
}

// The contracted mesh, in the normalised frame.
TriMesh OutputSurface(const DietRun& run, int64_t live_faces) {
  TriMesh mesh;
  ReserveHuge(mesh.xyz, 3 * run.VertexCount());
  ReserveHuge(mesh.tri, 3 * static_cast<size_t>(live_faces));
  for (size_t v = 0; v < run.VertexCount(); ++v) {
    mesh.xyz.insert(mesh.xyz.end(), {run.pos[v].X, run.pos[v].Y, run.pos[v].Z});
  }
  for (const FaceCorners& f : run.faces) {
    if (!FaceAlive(f)) continue;
    for (const int32_t v : f) mesh.tri.push_back(static_cast<uint32_t>(v));
  }
  return mesh;
}

// Giving back gigabytes takes a moment too: table by table, the window
// having its turn in between.
void GiveBack(DietRun& run, ProgressSink& progress) {
  for (const auto release : {+[](DietRun& r) { r.q = std::vector<TDietMatrix>(); },
                             +[](DietRun& r) { r.pos = std::vector<TDietVec>(); },
                             +[](DietRun& r) { r.faces = std::vector<FaceCorners>(); }}) {
    release(run);
    progress.KeepResponsive();
  }
}

// The input's side of the measurement, made from the input as loaded (loaded
// is only read) while the contraction runs. Without the memory for it the
// file is still written; only its figures are missing.
std::optional<InputSide> MeasureInput(const LoadedMesh& loaded, std::vector<FaceCorners> faces) {
  try {
    TriMesh input = InputSurface(loaded, faces);
    faces = std::vector<FaceCorners>();
    InputSide side = MeasureInputSide(std::move(input), true);
    // Made again from loaded once the contraction's tables are given back:
    // the contraction's peak holds 24 bytes per vertex less.
    side.mesh.xyz = std::vector<double>();
    return side;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

// The deviation in the written file's units: the refined method writes the
// input's units, the classic one the normalised frame. What the output is
// made of is given back first: the measurement needs its memory.
void MeasureOutput(DietRun& run, LoadedMesh& loaded, std::optional<InputSide> input,
                   ProgressSink& progress, SimplifyResult& result) {
  if (!input) {
    loaded.raw = std::vector<TDietVec>();
    result.unmeasured = true;
    return;
  }
  try {
    TriMesh output = OutputSurface(run, result.triangles_out);
    GiveBack(run, progress);
    input->mesh.xyz = NormalisedInput(loaded);
    loaded.raw = std::vector<TDietVec>();
    // Nothing is no distance away from something: no figures.
    if (input->mesh.tri.empty() || output.tri.empty()) return;
    Deviation d = MeasureDeviation(std::move(*input), std::move(output), progress);
    if (result.method == SimplifyMethod::kRefined) {
      for (double* x : {&d.max, &d.mean, &d.rms, &d.diagonal}) *x *= loaded.norm.s;
    }
    result.deviation = d;
  } catch (const std::bad_alloc&) {
    result.unmeasured = true;  // the file stands; only its figures are missing
  }
}

// The vertices' quadrics, then the pairs; beside each, work that needs only
// the faces: the edges' numbers, then the pages of the pairs' table.
VertexAdjacency Analyze(DietRun& run, SimplifyMethod method, ProgressSink& progress) {
  Heartbeat heartbeat(progress);
  progress.SetCaption("Analyzing Vertex information...");
  progress.ProcessMessages();
  EdgeNumbers edges;
  VertexAdjacency adjacency;
  // The quadrics take less time than the edges' numbers: this thread then
  // brings the contraction's empty blocks into being instead of waiting.
  RunBeside(
      heartbeat,
      [&] {
        AnalyzeVertices(run, progress);
        adjacency.Prepare(run.VertexCount(), &heartbeat);
      },
      [&](const Lane& lane) { edges = NumberEdges(run, lane.heartbeat); });
  progress.SetCaption("Analyzing Vertex Pair information...");
  progress.ProcessMessages();
  // The helper brings into being, from the back, the pages of the pairs'
  // table that the pairs are entered into here from the front: hundreds of
  // megabytes of fresh pages take longer than the entries.
  run.pairs = std::vector<PairSlot>();
  ReserveHuge(run.pairs, static_cast<size_t>(edges.count));
  const void* pair_table = run.pairs.data();
  const size_t pair_bytes = run.pairs.capacity() * sizeof(PairSlot);
  RunBeside(
      heartbeat,
      [&] {
        // The refined method prices the pairs again by its own rules.
        AnalyzePairs(run, std::move(edges), progress, method == SimplifyMethod::kClassic);
      },
      [&](const Lane& lane) { PopulatePages(pair_table, pair_bytes, &lane.heartbeat); });
  return adjacency;
}

SimplifyResult RunSteps(const std::string& path, const std::string& folder, double keep_ratio,
                        ProgressSink& progress, SimplifyMethod method,
                        const SimplifyOptions& options) {
  const bool measure = method == SimplifyMethod::kRefined || options.measure;
  DietRun run;
  LoadedMesh loaded;
  progress.SetCaption("Loading File...");
  progress.ProcessMessages();
  {
    const FileText text(path);
    LoadWants wants;
    wants.attributes = method == SimplifyMethod::kRefined;
    wants.raw = wants.attributes || measure;
    wants.source = &text;
    LoadDietRun(text.text(), path, progress, wants, run, loaded);
    text.CheckUnchanged();
  }
  SimplifyResult result;
  result.method = method;
  result.triangles_in = LiveFaces(run);
  result.target = result.triangles_in - ContractionTarget(result.triangles_in, keep_ratio);
  result.budget = options.max_error.has_value();
  const double max_distance = result.budget ? BudgetDistance(*options.max_error, run) : kNoBudget;
  std::vector<FaceCorners> input_faces;
  if (measure) input_faces = HugeCopy(run.faces.begin(), run.faces.end());
  // The refined method keeps the attributes that the file has.
  std::optional<AttributeRun> attributes;
  if (loaded.attributes.any) attributes = BuildAttributes(run, std::move(loaded.attributes));
  AttributeRun* with = attributes ? &*attributes : nullptr;
  VertexAdjacency adjacency = Analyze(run, method, progress);
  const auto contract = [&] {
    ContractMesh(run, keep_ratio, method, progress, with, max_distance, std::move(adjacency),
                 &loaded);
  };
  // The contraction keeps one core busy: the input's side of the
  // measurement, which needs only the input, is made on the other.
  std::optional<InputSide> input_side;
  if (measure) {
    Heartbeat heartbeat(progress);
    RunBeside(heartbeat, contract,
              [&] { input_side = MeasureInput(loaded, std::move(input_faces)); });
  } else {
    contract();
  }
  // The pairs are no longer needed; give their memory back before writing.
  run.pairs = std::vector<PairSlot>();
  result.written = result.budget ? BudgetOutputPath(path, folder, *options.max_error)
                                 : DietOutputPath(path, folder, keep_ratio);
  // The written file finds the input's material libraries from its own folder.
  if (with) with->libraries = MaterialLibraryLines(with->libraries, path, folder);
  WriteDietMesh(result.written, run, loaded, method, with, progress);
  result.triangles_out = LiveFaces(run);
  if (measure) MeasureOutput(run, loaded, std::move(input_side), progress, result);
  GiveBack(run, progress);
  return result;
}

}  // namespace

std::string BudgetOutputPath(const std::string& path, const std::string& folder, double percent) {
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, percent).ptr;
  return folder + std::string(BaseName(path)) + "_SimplifiedMax" + std::string(digits, end) +
         "%.obj";
}

SimplifyResult SimplifyFile(const std::string& path, const std::string& folder, double keep_ratio,
                            ProgressSink& progress, SimplifyMethod method,
                            const SimplifyOptions& options) {
  progress.SetPosition(0);
  progress.Show();
  SimplifyResult result;
  try {
    result = RunSteps(path, folder, keep_ratio, progress, method, options);
  } catch (...) {
    progress.Hide();
    throw;
  }
  progress.Hide();
  return result;
}

}  // namespace zelfin
