#include "simplify/diet_contraction.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/numbers.h"
#include "platform/progress_marks.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_pair_heap.h"
#include "simplify/diet_vertex_lists.h"

namespace zelfin {

namespace {

// The ends of a pair while it is active; lo is -1 once it is not. A compact
// copy of what the lists are checked against, kept in step with DietPairs.
struct PairEnds {
  int32_t lo, hi;
};

// The corners of a face; once it has collapsed [0] holds ~corner 0, so the
// corners survive for the table while [0] < 0 marks the face dead.
using FaceCorners = std::array<int32_t, 3>;

// What one run keeps beside the tables: the candidates by cost, and for every
// vertex the live faces and the active pairs that hold it. A list may hold
// entries that no longer apply; they are checked on use and dropped.
class Contraction {
 public:
  explicit Contraction(DietMesh& mesh) : mesh_(mesh), heap_(mesh.DietPairs.size()) {
    // One pass over each big table; the lists are then built from the copies.
    const TArF& faces = mesh.DietFaces;
    const TArP& pairs = mesh.DietPairs;
    corners_.resize(faces.size());
    for (size_t j = 0; j < faces.size(); ++j) {
      const TDietFace& f = faces[j];
      corners_[j] = {f.Alive ? f.Verts[0] : -1, f.Verts[1], f.Verts[2]};
    }
    ends_.resize(pairs.size());
    for (size_t i = 0; i < pairs.size(); ++i) {
      const TDietPair& q = pairs[i];
      ends_[i] = {q.Active ? q.VertLo : -1, q.VertHi};
      if (q.Active) heap_.AddUnordered(static_cast<int32_t>(i), q.Cost);
    }
    heap_.Heapify();
    const size_t nv = mesh.DietVerts.size();
    face_lists_.Build(nv, [&](auto&& emit) {
      for (size_t j = 0; j < corners_.size(); ++j) {
        const FaceCorners& f = corners_[j];
        if (f[0] < 0) continue;
        for (int c = 0; c < 3; ++c) emit(f[c], static_cast<int32_t>(j));
      }
    });
    pair_lists_.Build(nv, [&](auto&& emit) {
      for (size_t i = 0; i < ends_.size(); ++i) {
        if (ends_[i].lo < 0) continue;
        emit(ends_[i].lo, static_cast<int32_t>(i));
        emit(ends_[i].hi, static_cast<int32_t>(i));
      }
    });
  }

  int32_t SelectPair() const { return heap_.Top(); }

  // The flags and corners that the run keeps aside go into the tables at
  // every progress mark and at the end, so the tables are whole whenever the
  // caller sees them; written at once, each would cost a miss on a big record.
  void WriteBack() {
    TArF& faces = mesh_.DietFaces;
    for (const int32_t j : touched_) {
      TDietFace& face = faces[static_cast<size_t>(j)];
      const FaceCorners& f = corners_[static_cast<size_t>(j)];
      face.Alive = f[0] >= 0;
      face.Verts[0] = f[0] >= 0 ? f[0] : ~f[0];
      face.Verts[1] = f[1];
      face.Verts[2] = f[2];
    }
    for (const int32_t i : retired_) {
      mesh_.DietPairs[static_cast<size_t>(i)].Active = Active(i);
    }
    for (const int32_t v : vanished_) mesh_.DietVerts[static_cast<size_t>(v)].Used = false;
    touched_.clear();
    retired_.clear();
    vanished_.clear();
  }

  void ContractPair(int32_t p, int64_t& R) {
    const int32_t a = ends_[static_cast<size_t>(p)].lo;
    const int32_t b = ends_[static_cast<size_t>(p)].hi;
    TDietPair& pair = mesh_.DietPairs[static_cast<size_t>(p)];
    PrefetchNeighbourhood(a, b);
    Prefetch(&pair);
    Prefetch(&mesh_.DietVerts[static_cast<size_t>(b)]);
    Deactivate(p);
    vanished_.push_back(a);
    // The faces do not read positions or quadrics, so they may go first
    // while the pair's record arrives.
    MoveFaces(a, b, R);
    mesh_.DietVerts[static_cast<size_t>(b)].Q = pair.Q;
    mesh_.DietVerts[static_cast<size_t>(b)].Pos = pair.Pos;
    MovePairs(a, b);
  }

 private:
  bool Active(int32_t i) const { return ends_[static_cast<size_t>(i)].lo >= 0; }

  bool ActiveAndHolds(int32_t i, int32_t v) const {
    const PairEnds& e = ends_[static_cast<size_t>(i)];
    return e.lo >= 0 && (e.lo == v || e.hi == v);
  }

  bool AliveAndHolds(int32_t j, int32_t v) const {
    const FaceCorners& f = corners_[static_cast<size_t>(j)];
    return f[0] >= 0 && (f[0] == v || f[1] == v || f[2] == v);
  }

  void Deactivate(int32_t i) {
    retired_.push_back(i);
    ends_[static_cast<size_t>(i)].lo = -1;
    heap_.Remove(i);
  }

  // Faces of a: those that also hold b collapse, the others take b for a.
  // Each face's fate depends on that face alone, so list order is free here.
  void MoveFaces(int32_t a, int32_t b, int64_t& R) {
    moved_.clear();
    for (const int32_t j : face_lists_.Of(a)) {
      FaceCorners& f = corners_[static_cast<size_t>(j)];
      if (f[0] < 0) continue;
      int k = 0;
      while (k < 3 && f[k] != a) ++k;
      if (k == 3) continue;
      if (f[(k + 1) % 3] == b || f[(k + 2) % 3] == b) {
        f[0] = ~f[0];
        touched_.push_back(j);
        ++R;
      } else {
        f[k] = b;
        moved_.push_back(j);
        touched_.push_back(j);
      }
    }
    kept_.clear();
    for (const int32_t j : face_lists_.Of(b)) {
      if (AliveAndHolds(j, b)) kept_.push_back(j);
    }
    kept_.insert(kept_.end(), moved_.begin(), moved_.end());
    face_lists_.Assign(b, kept_);
    face_lists_.Clear(a);
  }

  // Active pairs of a, in table order, become pairs of b; a pair that already
  // joins b to the same vertex retires. Each re-targeted pair is priced with
  // the quadrics as they stand at its turn.
  void MovePairs(int32_t a, int32_t b) {
    // Every active pair that joins b to some vertex is in b's list, so the
    // pairs that a re-target retires are found among these.
    neighbours_.clear();
    for (const int32_t k : pair_lists_.Of(b)) {
      const PairEnds& e = ends_[static_cast<size_t>(k)];
      if (e.lo >= 0 && (e.lo == b || e.hi == b))
        neighbours_.push_back({e.lo == b ? e.hi : e.lo, k});
    }
    candidates_.clear();
    for (const int32_t i : pair_lists_.Of(a)) {
      if (ActiveAndHolds(i, a)) candidates_.push_back(i);
    }
    std::sort(candidates_.begin(), candidates_.end());
    candidates_.erase(std::unique(candidates_.begin(), candidates_.end()), candidates_.end());
    for (const int32_t i : candidates_) {
      const PairEnds& e = ends_[static_cast<size_t>(i)];
      Prefetch(&mesh_.DietVerts[static_cast<size_t>(e.lo == a ? e.hi : e.lo)].Q);
      Prefetch(&mesh_.DietPairs[static_cast<size_t>(i)]);
    }

    for (const int32_t i : candidates_) {
      const PairEnds e = ends_[static_cast<size_t>(i)];
      if (e.lo < 0) continue;
      int32_t c;
      if (e.lo == a) {
        c = e.hi;
      } else if (e.hi == a) {
        c = e.lo;
      } else {
        continue;
      }
      // EvaluatePair makes the record active again, so its flag need not be cleared.
      ends_[static_cast<size_t>(i)].lo = -1;
      const int32_t lo = std::min(b, c);
      const int32_t hi = std::max(b, c);
      // DeactivatePairs(lo, hi): the active pairs joining exactly b and c.
      for (const Neighbour& n : neighbours_) {
        const PairEnds& ne = ends_[static_cast<size_t>(n.pair)];
        if (n.other == c && ne.lo == lo && ne.hi == hi) Deactivate(n.pair);
      }
      EvaluatePair(mesh_, i, lo, hi);
      ends_[static_cast<size_t>(i)] = {lo, hi};
      heap_.Set(i, mesh_.DietPairs[static_cast<size_t>(i)].Cost);
      neighbours_.push_back({c, i});
    }

    kept_.clear();
    for (const Neighbour& n : neighbours_) {
      if (ActiveAndHolds(n.pair, b)) kept_.push_back(n.pair);
    }
    pair_lists_.Assign(b, kept_);
    pair_lists_.Clear(a);
  }

  // Every cache line of *p.
  template <class T>
  static void Prefetch(const T* p) {
    const uintptr_t first = reinterpret_cast<uintptr_t>(p) & ~uintptr_t{63};
    const uintptr_t end = reinterpret_cast<uintptr_t>(p) + sizeof(T);
    for (uintptr_t c = first; c < end; c += 64)
      __builtin_prefetch(reinterpret_cast<const void*>(c));
  }

  // The face corners and pair ends that the contraction of (a, b) reads,
  // asked for together, so that the misses of the faces and the pairs overlap
  // instead of coming one chain after the other.
  void PrefetchNeighbourhood(int32_t a, int32_t b) const {
    for (const int32_t j : face_lists_.Of(a)) Prefetch(&corners_[static_cast<size_t>(j)]);
    for (const int32_t j : face_lists_.Of(b)) Prefetch(&corners_[static_cast<size_t>(j)]);
    for (const int32_t i : pair_lists_.Of(a)) Prefetch(&ends_[static_cast<size_t>(i)]);
    for (const int32_t i : pair_lists_.Of(b)) Prefetch(&ends_[static_cast<size_t>(i)]);
  }

  struct Neighbour {
    int32_t other;  // the pair's end that is not b
    int32_t pair;
  };

  DietMesh& mesh_;
  PairHeap heap_;
  VertexLists face_lists_;
  VertexLists pair_lists_;
  std::vector<FaceCorners> corners_;
  std::vector<PairEnds> ends_;
  std::vector<int32_t> moved_, kept_, candidates_;
  std::vector<int32_t> touched_;   // faces whose corners or Alive changed
  std::vector<int32_t> retired_;   // pairs whose Active may have been cleared
  std::vector<int32_t> vanished_;  // vertices that lost Used
  std::vector<Neighbour> neighbours_;
};

}  // namespace

int64_t ContractionTarget(int64_t face_count, double keep_ratio) {
  return RoundHalfEven((1 - keep_ratio) * static_cast<double>(face_count));
}

void ContractMesh(DietMesh& mesh, double keep_ratio, ProgressSink& progress) {
  int64_t F = 0;
  for (const TDietFace& f : mesh.DietFaces) F += f.Alive ? 1 : 0;
  const int64_t T = ContractionTarget(F, keep_ratio);
  ProgressMarks marks(T, 2, 50, 50);
  int64_t R = 0;
  progress.SetCaption("Surface Simplification...");
  progress.ProcessMessages();
  if (R >= T) return;

  Contraction run(mesh);
  while (R < T) {
    const int32_t p = run.SelectPair();
    if (p >= 0) run.ContractPair(p, R);
    if (marks.Due(R)) {
      run.WriteBack();
      marks.Report(R, progress);
    }
    if (p < 0) break;
  }
  run.WriteBack();
}

}  // namespace zelfin
