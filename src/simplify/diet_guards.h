#pragma once
// Whether a contraction keeps the surface sound, checked before the refined
// method makes it:
// - the topology stays: the two ends share no neighbour but the third
//   corners of the triangles on their edge (the link condition), at least one
//   of those triangles exists, and no two triangles come to lie on the same
//   three corners (which is how a tetrahedron, the smallest closed surface,
//   would collapse);
// - no surviving triangle around the moved vertex turns over, turns by more
//   than a bound in one contraction, becomes a sliver, or turns beyond a
//   bound both from its own direction as loaded and from that of the loaded
//   faces around its corners (a small triangle of a noisy scan may lean far
//   from its surface).
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/heartbeat.h"
#include "platform/prefetch.h"
#include "simplify/diet_adjacency.h"
#include "simplify/diet_model.h"
#include "simplify/diet_run.h"

namespace zelfin {

class ContractionGuard {
 public:
  // The faces' directions as loaded, and per vertex that of the faces around
  // it: no face may come to face against the surface it stands for. The
  // vertices' places as loaded come from raw
  // (the loaded coordinates, normalised by norm as the loader did) when it is
  // given; else they are copied from the run. On two threads; heartbeat is
  // the calling thread's.
  void Start(const DietRun& run, Heartbeat& heartbeat, const std::vector<TDietVec>* raw = nullptr,
             const Normalisation& norm = {});

  // Asks for what the guard reads of face j (when started).
  void Prefetch(int32_t j) const {
    if (first_normal_) PrefetchLine(&first_normal_[static_cast<size_t>(j)]);
  }
  // Asks for where vertex v was loaded, which the drift reads (when started).
  void PrefetchFirstPos(int32_t v) const { PrefetchLines(&StoredFirstPos(v)); }

  // Merging a and b into one vertex at pos.
  bool MayContract(const DietRun& run, const VertexAdjacency& adjacency, int32_t a, int32_t b,
                   const TDietVec& pos);
  // After MayContract said no: the face that would have turned or become a
  // sliver, or -1 when the topology refused. As long as that face and the
  // two ends stay as they are, the same merge is refused again.
  int32_t RefusedFace() const { return refused_face_; }

  // After MayContract said yes: whether the merge moves the surface further
  // than limit, measured as the largest squared distance from where a and b
  // were loaded to the faces the merge leaves around pos, and from pos to the
  // faces as they stand (then in drift; when the merge stays within the
  // limit, drift is only some value no larger than the limit). Where the
  // quadric's mean error hides a small feature's loss (the tip of a thin
  // tail), this shows it.
  bool DriftsBeyond(const DietRun& run, int32_t a, int32_t b, const TDietVec& pos, double limit,
                    double& drift) const;

 private:
  // The faces of v that survive the merge, and the neighbours they give v;
  // false when one of them would turn over or become a sliver.
  bool Survivors(const DietRun& run, const VertexAdjacency& adjacency, int32_t v, int32_t other,
                 const TDietVec& pos, std::vector<int32_t>& faces, std::vector<int32_t>& ring);
  bool SharesOnlyThirdCorners() const;
  // Squared distance from q to the live faces of a and b as they stand, or
  // the first one found that is no more than enough.
  double FromFacesNow(const DietRun& run, int32_t a, int32_t b, const TDietVec& q,
                      double enough) const;
  // Only once SharesOnlyThirdCorners said yes.
  bool MakesTwinFaces(const DietRun& run) const;

  // Per face, unit; each half written on its own thread, its pages too.
  std::unique_ptr<std::array<float, 3>[]> first_normal_;
  // Per vertex, the direction of the loaded faces around it: a sum of cross
  // products, so weighted by area.
  std::unique_ptr<std::array<float, 3>[]> around_;
  // Where vertex v was loaded.
  TDietVec FirstPos(int32_t v) const {
    return raw_ ? Normalised(norm_, StoredFirstPos(v)) : StoredFirstPos(v);
  }
  // The same as stored: loaded coordinates still to be normalised, or a copy.
  const TDietVec& StoredFirstPos(int32_t v) const {
    return raw_ ? (*raw_)[static_cast<size_t>(v)] : first_pos_[static_cast<size_t>(v)];
  }

  std::vector<TDietVec> first_pos_;  // per vertex, as loaded, when raw_ is not given
  const std::vector<TDietVec>* raw_ = nullptr;
  Normalisation norm_;
  const VertexAdjacency* adjacency_ = nullptr;
  std::vector<int32_t> third_;  // the third corners of the edge's faces
  std::vector<int32_t> faces_a_, faces_b_, ring_a_, ring_b_;
  int32_t refused_face_ = -1;
};

}  // namespace zelfin
