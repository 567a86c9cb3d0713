#include "simplify/diet_tables.h"

#include "simplify/diet_analysis.h"

namespace zelfin {

DietRun RunFromTables(const DietMesh& mesh, bool with_pairs) {
  DietRun run;
  const size_t nv = mesh.DietVerts.size();
  const size_t np = with_pairs ? mesh.DietPairs.size() : 0;
  run.flags.reserve(nv);
  run.q.reserve(2 * nv + np);
  run.pos.reserve(2 * nv + np);
  for (const TDietVertex& vertex : mesh.DietVerts) {
    run.flags.push_back(vertex.Used ? kUsed : 0);
    run.q.push_back(vertex.Q);
    run.pos.push_back(vertex.Pos);
  }
  run.faces.reserve(mesh.DietFaces.size());
  for (const TDietFace& f : mesh.DietFaces) {
    run.faces.push_back({f.Alive ? f.Verts[0] : ~f.Verts[0], f.Verts[1], f.Verts[2]});
  }
  run.pairs.reserve(np);
  for (size_t i = 0; i < np; ++i) {
    const TDietPair& p = mesh.DietPairs[i];
    run.pairs.push_back({{p.Active ? p.VertLo : ~p.VertLo, p.VertHi},
                         {static_cast<uint32_t>(run.q.size()), kOwnState},
                         p.Cost});
    run.q.push_back(p.Q);
    run.pos.push_back(p.Pos);
  }
  return run;
}

void RunToTables(const DietRun& run, DietMesh& mesh) {
  mesh.DietVerts.resize(run.VertexCount());
  for (size_t v = 0; v < run.VertexCount(); ++v) {
    TDietVertex& vertex = mesh.DietVerts[v];
    vertex.Used = run.Used(v);
    vertex.Pos = run.pos[v];
    vertex.Q = run.q[v];
  }
  mesh.DietFaces.resize(run.faces.size());
  for (size_t j = 0; j < run.faces.size(); ++j) {
    TDietFace& f = mesh.DietFaces[j];
    f.Alive = FaceAlive(run.faces[j]);
    for (int c = 0; c < 3; ++c) f.Verts[c] = FaceCorner(run.faces[j], c);
  }
  mesh.DietPairs.resize(run.PairCount());
  PairPrice price;
  for (size_t i = 0; i < run.PairCount(); ++i) {
    PriceOf(run, i, price);
    TDietPair& pair = mesh.DietPairs[i];
    pair.Active = PairActive(run.pairs[i].ends);
    pair.VertLo = PairLo(run.pairs[i].ends);
    pair.VertHi = run.pairs[i].ends.hi;
    pair.Cost = run.pairs[i].cost;
    pair.Pos = price.Pos;
    pair.Q = price.Q;
  }
}

}  // namespace zelfin
