#include "simplify/diet_borders.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "platform/beside.h"
#include "platform/huge_pages.h"
#include "simplify/diet_geometry.h"

namespace zelfin {

namespace {

// An open border that turns by more than this (the angle between its two
// edges' directions) has a corner there, which stays where it is.
const double kSharpTurnCos = std::cos(60.0 * M_PI / 180.0);
// The weight of an open border edge's constraint plane, per squared length of
// the edge: against the area weights of the faces' planes (half the squared
// length for a right isosceles face on the edge), moving off the outline
// costs about four times what moving off the face's own plane does.
constexpr double kBorderPlaneWeight = 2.0;

int32_t WedgeAt(const AttributeRun* attributes, int32_t face, int corner) {
  return attributes
             ? attributes->face_wedges[static_cast<size_t>(face)][static_cast<size_t>(corner)]
             : -1;
}

// Adds weight * p p^T for the plane p = (n, -n . at).
void AddPlane(TDietMatrix& Q, const TDietVec& n, const TDietVec& at, double weight) {
  const double p[4] = {n.X, n.Y, n.Z, -VecDot(n, at)};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) Q.m[r][c] += weight * p[r] * p[c];
  }
}

}  // namespace

void BorderKinds::CollectEdges(const DietRun& run, const VertexAdjacency& adjacency,
                               const AttributeRun* attributes, int32_t v, int& wedges, Scratch& s) {
  std::vector<Edge>& edges = s.edges;
  edges.clear();
  int32_t seen[3];
  wedges = 0;
  const std::span<const int32_t> faces = adjacency.Faces(v);
  for (size_t k = 0; k < faces.size(); ++k) {
    const int32_t j = faces[k];
    const FaceCorners& f = run.faces[static_cast<size_t>(j)];
    if (!FaceHolds(f, v)) continue;
    const int c = CornerOf(f, v);
    const int32_t own = WedgeAt(attributes, j, c);
    if (wedges < 3 && std::find(seen, seen + wedges, own) == seen + wedges) seen[wedges++] = own;
    for (const int o : {(c + 1) % 3, (c + 2) % 3}) {
      const int32_t other = f[static_cast<size_t>(o)];
      const int32_t other_wedge = WedgeAt(attributes, j, o);
      auto it =
          std::find_if(edges.begin(), edges.end(), [&](const Edge& e) { return e.other == other; });
      if (it == edges.end()) {
        edges.push_back({other, 1, static_cast<int32_t>(k), -1, own, other_wedge, false});
      } else {
        if (++it->faces == 2) it->second_face = static_cast<int32_t>(k);
        it->differs = it->differs || it->own_wedge != own || it->other_wedge != other_wedge;
      }
    }
  }
}

// Whether the faces around the vertex, joined across its edges of two faces,
// are one piece. Faces are named by their place in the vertex's face list.
bool BorderKinds::OneFan(size_t face_count, Scratch& s) {
  std::vector<int32_t>& fan = s.fan;
  fan.assign(face_count, -1);
  for (size_t k = 0; k < face_count; ++k) fan[k] = static_cast<int32_t>(k);
  const auto root = [&](int32_t x) {
    while (fan[static_cast<size_t>(x)] != x) x = fan[static_cast<size_t>(x)];
    return x;
  };
  for (const Edge& e : s.edges) {
    if (e.faces != 2) continue;
    const int32_t x = root(e.first_face), y = root(e.second_face);
    fan[static_cast<size_t>(std::max(x, y))] = std::min(x, y);
  }
  int pieces = 0;
  for (size_t k = 0; k < face_count; ++k) {
    // Dead faces in the list were never joined; they do not count.
    pieces += fan[k] == static_cast<int32_t>(k) ? 1 : 0;
  }
  size_t live = 0;
  for (const Edge& e : s.edges) live += static_cast<size_t>(e.faces);
  live /= 2;
  return pieces - static_cast<int>(face_count - live) == 1;
}

// The two open edges of a border vertex make a corner.
bool BorderKinds::TurnsSharply(const DietRun& run, int32_t v, const Scratch& s) {
  const int32_t* ends[2] = {nullptr, nullptr};
  int n = 0;
  for (const Edge& e : s.edges) {
    if (e.faces == 1 && n < 2) ends[n++] = &e.other;
  }
  const TDietVec& p = run.pos[static_cast<size_t>(v)];
  const TDietVec in = VecSub(p, run.pos[static_cast<size_t>(*ends[0])]);
  const TDietVec out = VecSub(run.pos[static_cast<size_t>(*ends[1])], p);
  const double lengths = std::sqrt(VecSqLen(in) * VecSqLen(out));
  return lengths > 0 && VecDot(in, out) < kSharpTurnCos * lengths;
}

BorderKind BorderKinds::Classify(const DietRun& run, const VertexAdjacency& adjacency,
                                 const AttributeRun* attributes, int32_t v, Scratch& s) {
  int wedges = 0;
  CollectEdges(run, adjacency, attributes, v, wedges, s);
  int open = 0, seams = 0;
  for (const Edge& e : s.edges) {
    if (e.faces > 2) return BorderKind::kLocked;
    open += e.faces == 1 ? 1 : 0;
    seams += e.faces == 2 && e.differs ? 1 : 0;
  }
  if (s.edges.empty()) return BorderKind::kLocked;
  if (!OneFan(adjacency.Faces(v).size(), s)) return BorderKind::kLocked;
  if (open == 0 && seams == 0 && wedges <= 1) return BorderKind::kInside;
  if (open == 2 && seams == 0 && wedges <= 1) {
    return TurnsSharply(run, v, s) ? BorderKind::kLocked : BorderKind::kOpen;
  }
  if (open == 0 && seams == 2 && wedges == 2) return BorderKind::kSeam;
  return BorderKind::kLocked;
}

void BorderKinds::AddOpenEdgePlanes(DietRun& run, const VertexAdjacency& adjacency, int32_t v,
                                    const Scratch& s) {
  for (const Edge& e : s.edges) {
    if (e.faces != 1 || e.other < v) continue;  // each open edge once, from its lower end
    const FaceCorners& f =
        run.faces[static_cast<size_t>(adjacency.Faces(v)[static_cast<size_t>(e.first_face)])];
    const TDietVec& a = run.pos[static_cast<size_t>(v)];
    const TDietVec& b = run.pos[static_cast<size_t>(e.other)];
    const TDietVec face_normal =
        TriangleNormal(run.pos[static_cast<size_t>(f[0])], run.pos[static_cast<size_t>(f[1])],
                       run.pos[static_cast<size_t>(f[2])]);
    const TDietVec edge = VecSub(b, a);
    const TDietVec n = VecNormalize(VecCross(edge, face_normal));
    if (VecSqLen(n) == 0) continue;
    const double weight = kBorderPlaneWeight * VecSqLen(edge);
    AddPlane(run.q[static_cast<size_t>(v)], n, a, weight);
    AddPlane(run.q[static_cast<size_t>(e.other)], n, a, weight);
  }
}

void BorderKinds::Start(DietRun& run, const VertexAdjacency& adjacency,
                        const AttributeRun* attributes, Heartbeat& heartbeat) {
  kind_ = HugeTable(run.VertexCount(), BorderKind::kLocked);
  // The kinds, in chunks that either thread takes; each notes the vertices
  // that it finds on an open border (locked or not).
  constexpr size_t kChunk = size_t{1} << 14;
  const size_t n = run.VertexCount();
  std::atomic<size_t> next{0};
  std::vector<int32_t> open[2];
  const auto one_face = [](const Edge& e) { return e.faces == 1; };
  const auto classify = [&](std::vector<int32_t>& found, const Lane& lane) {
    Scratch s;
    for (size_t begin; (begin = next.fetch_add(kChunk)) < n;) {
      for (size_t v = begin; v < std::min(n, begin + kChunk); ++v) {
        lane.heartbeat.Beat();
        if (!run.Used(v)) continue;
        const int32_t vertex = static_cast<int32_t>(v);
        kind_[v] = Classify(run, adjacency, attributes, vertex, s);
        if (std::any_of(s.edges.begin(), s.edges.end(), one_face)) found.push_back(vertex);
      }
    }
  };
  RunBeside(
      heartbeat, [&](const Lane& lane) { classify(open[0], lane); },
      [&](const Lane& lane) { classify(open[1], lane); });
  // The planes in the order of the vertices, as one thread would add them:
  // the quadrics' sums come out the same however the chunks fell.
  open[0].insert(open[0].end(), open[1].begin(), open[1].end());
  std::sort(open[0].begin(), open[0].end());
  for (const int32_t v : open[0]) {
    heartbeat.Beat();
    int wedges = 0;
    CollectEdges(run, adjacency, attributes, v, wedges, scratch_);
    AddOpenEdgePlanes(run, adjacency, v, scratch_);
  }
}

bool BorderKinds::Update(const DietRun& run, const VertexAdjacency& adjacency,
                         const AttributeRun* attributes, int32_t v) {
  const BorderKind now = Classify(run, adjacency, attributes, v, scratch_);
  const bool changed = now != kind_[static_cast<size_t>(v)];
  kind_[static_cast<size_t>(v)] = now;
  return changed;
}

}  // namespace zelfin
