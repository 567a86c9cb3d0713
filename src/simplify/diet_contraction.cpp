#include "simplify/diet_contraction.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "platform/beside.h"
#include "platform/heartbeat.h"
#include "platform/huge_pages.h"
#include "platform/numbers.h"
#include "platform/pages_ahead.h"
#include "platform/prefetch.h"
#include "platform/progress_marks.h"
#include "simplify/diet_adjacency.h"
#include "simplify/diet_analysis.h"
#include "simplify/diet_attributes.h"
#include "simplify/diet_borders.h"
#include "simplify/diet_guards.h"
#include "simplify/diet_pair_costs.h"
#include "simplify/diet_pair_heap.h"
#include "simplify/diet_refined_price.h"

#include "simplify/diet_tables.h"

namespace zelfin {

namespace {

// What one run keeps beside its tables: the candidates by cost, and for every
// vertex the live faces and the active pairs that hold it. A list may hold
// entries that no longer apply; they are checked on use and dropped.
//
// A vertex's state (quadric, position) lives at its own index. When a vertex
// survives a contraction, its pairs that are not priced again keep the state
// it leaves behind, which moves to a fresh slot first. keep_inactive: pairs
// that stop being active keep their quadric and target too, for whoever
// reads the tables afterwards.
class Contraction {
 public:
  Contraction(DietRun& run, SimplifyMethod method, bool keep_inactive, AttributeRun* attributes,
              VertexAdjacency adjacency, const LoadedMesh* loaded, Heartbeat& heartbeat)
      : run_(run),
        method_(method),
        keep_inactive_(keep_inactive),
        attributes_(attributes),
        heap_(run.pairs, &heartbeat),
        adjacency_(std::move(adjacency)),
        first_left_(static_cast<uint32_t>(run.q.size())) {
    adjacency_.SetPagesAhead(&pages_ahead_);
    BuildAdjacency(heartbeat);
    if (Refined()) StartRefined(loaded, heartbeat);
    heap_.ReserveUnordered(run.PairCount());
    for (size_t i = 0; i < run.PairCount(); ++i) {
      heartbeat.Beat();
      if (PairActive(run.pairs[i].ends)) heap_.AddUnordered(static_cast<int32_t>(i));
    }
    heap_.Heapify();
  }

  // With a budget (refined only), the contraction whose error, as its cost
  // stands for it, passes max_distance is not made: it ends the run.
  void SetBudget(double max_distance) { budget_ = max_distance; }
  bool OverBudget() const { return over_budget_; }

  // The top pair, or -1 when no pair may be contracted any more.
  int32_t SelectPair() const {
    const int32_t p = heap_.Top();
    return p >= 0 && heap_.TopCost() == kBlocked ? -1 : p;
  }

  void ContractPair(int32_t p, int64_t& R) {
    if (Refined()) {
      ContractRefined(p, R);
      return;
    }
    AheadPair();
    const PairEnds e = run_.pairs[static_cast<size_t>(p)].ends;
    const int32_t a = e.lo;
    const int32_t b = e.hi;
    PrefetchNeighbourhood(p, a, b);
    PairPrice price;
    PriceOf(run_, static_cast<size_t>(p), price);
    Deactivate(p);
    // With p gone, the top is the pair that comes next unless the pairs
    // priced again below pass it: the guess made before, certain now.
    ahead_pair_ = heap_.Top();
    AheadEnds();
    run_.flags[static_cast<size_t>(a)] &= static_cast<uint8_t>(~kUsed);
    MoveFaces(a, b, R);
    PrefetchOtherEnds(a);
    CollectNeighbours(b);
    AheadSpills();
    KeepLeftState(b);
    AheadLists();
    // b takes the pair's quadric and target.
    run_.q[static_cast<size_t>(b)] = price.Q;
    run_.pos[static_cast<size_t>(b)] = price.Pos;
    run_.flags[static_cast<size_t>(b)] |= kMoved;
    MovePairs(a, b);
  }

 private:
  // A pair that may not be contracted, as the attribute borders stand: last in
  // the queue, and never taken.
  static constexpr double kBlocked = std::numeric_limits<double>::max();
  // What the squared drift of a contraction weighs against the quadric's mean
  // squared error, chosen by measurement on real models.
  static constexpr double kDriftWeight = 0.3;

  void BuildAdjacency(Heartbeat& heartbeat) {
    const size_t nv = run_.VertexCount();
    const DietRun& run = run_;
    const auto faces = [&](auto&& emit) {
      for (size_t j = 0; j < run.faces.size(); ++j) {
        heartbeat.Beat();
        const FaceCorners& f = run.faces[j];
        if (!FaceAlive(f)) continue;
        for (int c = 0; c < 3; ++c) emit(f[static_cast<size_t>(c)], static_cast<int32_t>(j));
      }
    };
    // The refined method may make the edges of one face candidates: their
    // pairs are listed too, and checked on use like every entry.
    const bool all = Refined();
    const auto pairs = [&](auto&& emit) {
      for (size_t i = 0; i < run.PairCount(); ++i) {
        heartbeat.Beat();
        const PairEnds& e = run.pairs[i].ends;
        if (!PairActive(e) && !(all && PairLo(e) != e.hi)) continue;
        emit(PairLo(e), static_cast<int32_t>(i));
        emit(e.hi, static_cast<int32_t>(i));
      }
    };
    adjacency_.Build(nv, faces, pairs, heartbeat);
  }

  bool Refined() const { return method_ == SimplifyMethod::kRefined; }

  // The refined method's start: the border kinds and the border planes, the
  // edges of one triangle made candidates too (they may merge along the
  // border), and every candidate priced by the refined rules.
  void StartRefined(const LoadedMesh* loaded, Heartbeat& heartbeat) {
    kinds_.Start(run_, adjacency_, attributes_, heartbeat);
    refused_face_ = HugeArray<int32_t>(run_.PairCount());
    guard_.Start(run_, heartbeat, loaded ? &loaded->raw : nullptr,
                 loaded ? loaded->norm : Normalisation{});
    // Each pair reads the tables and writes its own entries: two threads
    // share them out, with the same results.
    const auto price = [this](size_t from, size_t to, const Lane& lane) {
      for (size_t i = from; i < to; ++i) {
        lane.heartbeat.Beat();
        PairEnds& e = run_.pairs[i].ends;
        if (!PairActive(e) && OnOneFace(~e.lo, e.hi)) e.lo = ~e.lo;
        if (!PairActive(e)) continue;
        run_.pairs[i].priced = {static_cast<uint32_t>(e.lo), static_cast<uint32_t>(e.hi)};
        run_.pairs[i].cost = RefinedCost(e.lo, e.hi);
      }
    };
    const size_t n = run_.PairCount(), middle = n / 2;
    RunBeside(
        heartbeat, [&](const Lane& lane) { price(0, middle, lane); },
        [&](const Lane& lane) { price(middle, n, lane); });
    for (size_t i = 0; i < n; ++i) {
      if (run_.pairs[i].cost == kBlocked && PairActive(run_.pairs[i].ends))
        MarkBlocked(static_cast<int32_t>(i));
    }
  }

  // The edge (lo, hi) belongs to exactly one live face.
  bool OnOneFace(int32_t lo, int32_t hi) const {
    return lo >= 0 && lo != hi && FacesOnEdge(run_, adjacency_, lo, hi) == 1;
  }

  double RefinedCost(int32_t lo, int32_t hi) const {
    RefinedPrice price;
    PriceRefined(run_, adjacency_, kinds_, attributes_, lo, hi, price);
    return price.allowed ? price.cost : kBlocked;
  }

  // The refined method's contraction: priced as things stand, refused when
  // the surface would not stay sound (the pair waits, blocked, until its
  // neighbourhood changes), the survivor being the end that the rules keep.
  void ContractRefined(int32_t p, int64_t& R) {
    AheadPair();
    const PairEnds e = run_.pairs[static_cast<size_t>(p)].ends;
    PrefetchNeighbourhood(p, e.lo, e.hi);
    AheadEnds();
    RefinedPrice price;
    PriceRefined(run_, adjacency_, kinds_, attributes_, e.lo, e.hi, price);
    AheadSpills();
    // A price that went up since it was queued (the faces around the pair
    // can change without its ends moving) goes back into the queue.
    if (!price.allowed) {
      Block(p);
      return;
    }
    if (price.cost > run_.pairs[static_cast<size_t>(p)].cost) {
      run_.pairs[static_cast<size_t>(p)].cost = price.cost;
      heap_.Set(p);
      return;
    }
    if (!guard_.MayContract(run_, adjacency_, e.lo, e.hi, price.pos)) {
      Block(p, guard_.RefusedFace());
      return;
    }
    AheadLists();
    // The quadric's estimate may hide how far the surface moves: a pair
    // whose drift costs more goes back into the queue at that cost.
    // (Compared again after weighing: the division above may round down.)
    // With a budget, a drift past it is looked for too.
    double drift = 0;
    const double cost = run_.pairs[static_cast<size_t>(p)].cost;
    if (guard_.DriftsBeyond(run_, e.lo, e.hi, price.pos,
                            std::min(cost / kDriftWeight, budget_ * budget_), drift) &&
        kDriftWeight * drift > cost) {
      run_.pairs[static_cast<size_t>(p)].cost = kDriftWeight * drift;
      heap_.Set(p);
      return;
    }
    // The budget bounds the error as the cost estimates it and the distance
    // that the surface moves here.
    if (CostDistance(cost) > budget_ || CostDistance(drift) > budget_) {
      over_budget_ = true;
      return;
    }
    const int32_t b = price.stays;
    const int32_t a = b == e.lo ? e.hi : e.lo;
    const bool both_inside =
        kinds_.Of(a) == BorderKind::kInside && kinds_.Of(b) == BorderKind::kInside;
    Deactivate(p);
    run_.flags[static_cast<size_t>(a)] &= static_cast<uint8_t>(~kUsed);
    MoveFaces(a, b, R);
    if (attributes_) MergeWedges(adjacency_, price.wedges, price.pos, b, *attributes_);
    CollectNeighbours(b);
    if (keep_inactive_) KeepLeftState(b);
    TDietVec& pos = run_.pos[static_cast<size_t>(b)];
    if (std::memcmp(&pos, &price.pos, sizeof pos) != 0) {
      pos = price.pos;
      run_.flags[static_cast<size_t>(b)] |= kMoved;
    }
    run_.q[static_cast<size_t>(b)] = price.Q;
    // Two inside vertices merged past the guard's link condition make one
    // inside vertex, and leave the kinds of the neighbours as they were.
    changed_.clear();
    if (!both_inside) {
      kinds_.Update(run_, adjacency_, attributes_, b);
      UpdateRingKinds(b);
    }
    AheadRing();
    MovePairs(a, b);
    Reprice(b);
    ReleaseRing(b);
  }

  // Pair p may not merge as things stand: it waits at the end of the queue
  // until its neighbourhood changes, its ends marked so that it is found.
  void Block(int32_t p, int32_t refused_face = -1) {
    run_.pairs[static_cast<size_t>(p)].cost = kBlocked;
    MarkBlocked(p, refused_face);
    heap_.Set(p);
  }

  // refused_face: the face that the guard found would turn or thin, or -1.
  void MarkBlocked(int32_t p, int32_t refused_face = -1) {
    refused_face_[static_cast<size_t>(p)] = refused_face;
    const PairEnds& e = run_.pairs[static_cast<size_t>(p)].ends;
    run_.flags[static_cast<size_t>(e.lo)] |= kBlockedPair;
    run_.flags[static_cast<size_t>(e.hi)] |= kBlockedPair;
  }

  // The kinds of b's neighbours, again; those that changed are noted.
  void UpdateRingKinds(int32_t b) {
    for (const int32_t j : adjacency_.Faces(b)) {
      const FaceCorners& f = run_.faces[static_cast<size_t>(j)];
      if (!FaceHolds(f, b)) continue;
      for (const int32_t c : f) {
        if (c != b && kinds_.Update(run_, adjacency_, attributes_, c)) changed_.push_back(c);
      }
    }
  }

  // The faces around b's neighbours changed: their blocked pairs may merge
  // now, and the pairs of a neighbour whose kind changed have a new price.
  // A pair that the guard refused for a face this contraction left alone
  // stays blocked: its ends and that face are as they were, so it would be
  // refused again. (Reducing a noisy 10M-triangle torus to 10%, the guard
  // refused 2.8 million merges when every blocked pair came back, 1.6 million
  // with this.)
  void ReleaseRing(int32_t b) {
    for (const int32_t j : adjacency_.Faces(b)) {
      const FaceCorners& f = run_.faces[static_cast<size_t>(j)];
      if (!FaceHolds(f, b)) continue;
      for (const int32_t c : f) {
        if (c == b) continue;
        const bool changed = std::find(changed_.begin(), changed_.end(), c) != changed_.end();
        uint8_t& flags = run_.flags[static_cast<size_t>(c)];
        if (!changed && !(flags & kBlockedPair)) continue;
        flags &= static_cast<uint8_t>(~kBlockedPair);
        for (const int32_t i : adjacency_.Pairs(c)) {
          const PairEnds& e = run_.pairs[static_cast<size_t>(i)].ends;
          if (!PairHolds(e, c) || e.lo == b || e.hi == b) continue;
          if (changed) {
            PriceAgain(i, e.lo, e.hi);
          } else if (run_.pairs[static_cast<size_t>(i)].cost != kBlocked) {
            continue;
          } else if (RefusedAsBefore(i, b)) {
            flags |= kBlockedPair;
          } else {
            PriceAgain(i, e.lo, e.hi);
          }
        }
      }
    }
  }

  // Blocked pair i, neither of whose ends is b, was refused for a face that
  // b's contraction did not touch (every face it moved or collapsed holds b
  // or is dead now).
  bool RefusedAsBefore(int32_t i, int32_t b) const {
    const int32_t j = refused_face_[static_cast<size_t>(i)];
    if (j < 0) return false;
    const FaceCorners& f = run_.faces[static_cast<size_t>(j)];
    return FaceAlive(f) && !FaceHolds(f, b);
  }

  PairEnds& Ends(int32_t i) { return run_.pairs[static_cast<size_t>(i)].ends; }

  bool ActiveAndHolds(int32_t i, int32_t v) const {
    return PairHolds(run_.pairs[static_cast<size_t>(i)].ends, v);
  }

  // A state of its own for pair i: what it was priced with stays readable.
  void Freeze(int32_t i) {
    PairPrice price;
    PriceOf(run_, static_cast<size_t>(i), price);
    run_.pairs[static_cast<size_t>(i)].priced = {static_cast<uint32_t>(run_.q.size()), kOwnState};
    run_.q.push_back(price.Q);
    run_.pos.push_back(price.Pos);
  }

  // Pair i no longer refers to the states it was priced with; a state left
  // behind that no pair refers to any more can take the next one.
  void Release(int32_t i) {
    if (Refined() && !keep_inactive_) return;  // its pairs take only the ends' own states
    const PricedStates& s = run_.pairs[static_cast<size_t>(i)].priced;
    if (s.hi == kOwnState) return;
    for (const uint32_t state : {s.lo, s.hi}) {
      if (state < first_left_) continue;  // a vertex's own state
      if (--left_refs_[state - first_left_] == 0) free_left_.push_back(state);
    }
  }

  void Deactivate(int32_t i) {
    if (keep_inactive_) Freeze(i);
    Release(i);
    PairEnds& e = Ends(i);
    e.lo = ~e.lo;
    heap_.Remove(i);
  }

  // Pair i becomes the active pair (lo, hi), priced with their states: by
  // the refined rules here; the classic cost comes priced already, with the
  // other re-targets of its contraction (PriceRetargets).
  void PriceAgain(int32_t i, int32_t lo, int32_t hi, double classic_cost = 0) {
    const size_t k = static_cast<size_t>(i);
    Release(i);
    run_.pairs[k].ends = {lo, hi};
    run_.pairs[k].priced = {static_cast<uint32_t>(lo), static_cast<uint32_t>(hi)};
    if (Refined()) {
      run_.pairs[k].cost = RefinedCost(lo, hi);
      if (run_.pairs[k].cost == kBlocked) MarkBlocked(i);
    } else {
      run_.pairs[k].cost = classic_cost;
    }
    heap_.Set(i);
  }

  // Faces of a: those that also hold b collapse, the others take b for a.
  // Each face's fate depends on that face alone, so list order is free here.
  void MoveFaces(int32_t a, int32_t b, int64_t& R) {
    moved_.clear();
    for (const int32_t j : adjacency_.Faces(a)) {
      FaceCorners& f = run_.faces[static_cast<size_t>(j)];
      if (!FaceAlive(f)) continue;
      int k = 0;
      while (k < 3 && f[static_cast<size_t>(k)] != a) ++k;
      if (k == 3) continue;
      if (f[static_cast<size_t>((k + 1) % 3)] == b || f[static_cast<size_t>((k + 2) % 3)] == b) {
        f[0] = ~f[0];
        ++R;
      } else {
        f[static_cast<size_t>(k)] = b;
        moved_.push_back(j);
      }
    }
    kept_.clear();
    for (const int32_t j : adjacency_.Faces(b)) {
      if (FaceHolds(run_.faces[static_cast<size_t>(j)], b)) kept_.push_back(j);
    }
    kept_.insert(kept_.end(), moved_.begin(), moved_.end());
    adjacency_.AssignFaces(b, kept_);
  }

  // The active pairs that join b to some vertex, before any is re-targeted:
  // the pairs that a re-target may retire are among them.
  void CollectNeighbours(int32_t b) {
    neighbours_.clear();
    for (const int32_t k : adjacency_.Pairs(b)) {
      const PairEnds& e = run_.pairs[static_cast<size_t>(k)].ends;
      if (PairHolds(e, b)) {
        neighbours_.push_back({e.lo == b ? e.hi : e.lo, k});
      }
    }
    old_neighbours_ = neighbours_.size();
  }

  // b's state, about to be replaced, moves to a fresh slot for the pairs of b
  // that were priced with it and will not be priced again.
  void KeepLeftState(int32_t b) {
    const uint32_t own = static_cast<uint32_t>(b);
    uint32_t refs = 0;
    for (const Neighbour& n : neighbours_) {
      const PricedStates& s = run_.pairs[static_cast<size_t>(n.pair)].priced;
      if (s.hi != kOwnState) refs += (s.lo == own ? 1 : 0) + (s.hi == own ? 1 : 0);
    }
    if (refs == 0) return;
    const uint32_t left = NewLeftState(b, refs);
    for (const Neighbour& n : neighbours_) {
      PricedStates& s = run_.pairs[static_cast<size_t>(n.pair)].priced;
      if (s.hi == kOwnState) continue;
      if (s.lo == own) s.lo = left;
      if (s.hi == own) s.hi = left;
    }
  }

  // A slot for b's state as it stands, referred to `refs` times: one that no
  // pair refers to any more, or a new one.
  uint32_t NewLeftState(int32_t b, uint32_t refs) {
    uint32_t left;
    if (free_left_.empty()) {
      left = static_cast<uint32_t>(run_.q.size());
      run_.q.push_back(run_.q[static_cast<size_t>(b)]);
      run_.pos.push_back(run_.pos[static_cast<size_t>(b)]);
      q_ahead_.Grew(run_.q.data(), run_.q.size() * sizeof(TDietMatrix),
                    run_.q.capacity() * sizeof(TDietMatrix));
      pos_ahead_.Grew(run_.pos.data(), run_.pos.size() * sizeof(TDietVec),
                      run_.pos.capacity() * sizeof(TDietVec));
      GrowHuge(left_refs_, 1);
      left_refs_.resize(left - first_left_ + 1);
    } else {
      left = free_left_.back();
      free_left_.pop_back();
      run_.q[left] = run_.q[static_cast<size_t>(b)];
      run_.pos[left] = run_.pos[static_cast<size_t>(b)];
    }
    left_refs_[left - first_left_] = refs;
    return left;
  }

  // Active pairs of a, in table order, become pairs of b; a pair that already
  // joins b to the same vertex retires. Each re-targeted pair is priced with
  // the states as they stand at its turn.
  void MovePairs(int32_t a, int32_t b) {
    candidates_.clear();
    for (const int32_t i : adjacency_.Pairs(a)) {
      if (ActiveAndHolds(i, a)) candidates_.push_back(i);
    }
    std::sort(candidates_.begin(), candidates_.end());
    candidates_.erase(std::unique(candidates_.begin(), candidates_.end()), candidates_.end());
    if (!Refined()) PriceRetargets(a, b);
    for (size_t k = 0; k < candidates_.size(); ++k) {
      Retarget(candidates_[k], a, b, Refined() ? 0 : costs_[k]);
    }
    kept_.clear();
    for (const Neighbour& n : neighbours_) {
      if (ActiveAndHolds(n.pair, b)) kept_.push_back(n.pair);
    }
    adjacency_.AssignPairs(b, kept_);
    adjacency_.Clear(a);
  }

  // The classic costs of the candidates as re-targets, all at once: what
  // they read, the states of b and of the other ends, stays as it is through
  // the re-targets. A candidate that a re-target before it retires leaves its
  // cost unread.
  void PriceRetargets(int32_t a, int32_t b) {
    retargets_.clear();
    for (const int32_t i : candidates_) {
      const PairEnds& e = Ends(i);
      const int32_t c = e.lo == a ? e.hi : e.lo;
      retargets_.push_back({std::min(b, c), std::max(b, c)});
    }
    costs_.resize(retargets_.size());
    PairCosts(run_.q.data(), run_.pos.data(), retargets_.data(), retargets_.size(), costs_.data());
  }

  // Pair i, which held a, joins b and its other end c instead; the active
  // pair that joined b and c already retires (DeactivatePairs).
  void Retarget(int32_t i, int32_t a, int32_t b, double classic_cost) {
    const PairEnds e = Ends(i);
    if (!PairActive(e)) return;
    int32_t c;
    if (e.lo == a) {
      c = e.hi;
    } else if (e.hi == a) {
      c = e.lo;
    } else {
      return;
    }
    Ends(i).lo = ~e.lo;  // priced again below, which makes it active again
    const int32_t lo = std::min(b, c);
    const int32_t hi = std::max(b, c);
    for (const Neighbour& n : neighbours_) {
      const PairEnds& q = run_.pairs[static_cast<size_t>(n.pair)].ends;
      if (n.other == c && q.lo == lo && q.hi == hi) Deactivate(n.pair);
    }
    PriceAgain(i, lo, hi, classic_cost);
    neighbours_.push_back({c, i});
  }

  // The refined method: b's pairs from before the contraction that are still
  // active, priced with its old state, are priced again with its new one.
  void Reprice(int32_t b) {
    for (size_t k = 0; k < old_neighbours_; ++k) {
      const int32_t i = neighbours_[k].pair;
      if (!ActiveAndHolds(i, b)) continue;
      const PairEnds e = Ends(i);
      PriceAgain(i, e.lo, e.hi);
    }
  }

  // What the contraction of pair p = (a, b) reads, asked for together, so
  // that the misses overlap instead of coming one after the other.
  void PrefetchNeighbourhood(int32_t p, int32_t a, int32_t b) const {
    const PricedStates& s = run_.pairs[static_cast<size_t>(p)].priced;
    PrefetchLines(&run_.q[s.lo]);
    if (s.hi != kOwnState) PrefetchLines(&run_.q[s.hi]);
    for (const int32_t j : adjacency_.Faces(a)) PrefetchLines(&run_.faces[static_cast<size_t>(j)]);
    for (const int32_t j : adjacency_.Faces(b)) PrefetchLines(&run_.faces[static_cast<size_t>(j)]);
    PrefetchPairs(a);
    PrefetchPairs(b);
    if (!Refined()) {
      PrefetchLeftRefs(a);
      PrefetchLeftRefs(b);
    }
  }

  // The counts of the states left behind that v's pairs were priced with,
  // which releasing those pairs counts down (the pairs' records must have
  // arrived, or this waits for them).
  void PrefetchLeftRefs(int32_t v) const {
    for (const int32_t i : adjacency_.Pairs(v)) {
      const PricedStates& s = run_.pairs[static_cast<size_t>(i)].priced;
      if (s.hi == kOwnState) continue;
      for (const uint32_t state : {s.lo, s.hi}) {
        if (state >= first_left_ && state - first_left_ < left_refs_.size()) {
          PrefetchLine(&left_refs_[state - first_left_]);
        }
      }
    }
  }

  // What a contraction reads of the pairs of v: their records.
  void PrefetchPairs(int32_t v) const {
    for (const int32_t i : adjacency_.Pairs(v)) PrefetchLine(&run_.pairs[static_cast<size_t>(i)]);
  }

  // The pair that comes to the top when this one leaves is the next one
  // taken in about 98% of refined contractions and 99.9% of classic ones (a
  // 1M-triangle torus). What its contraction reads is asked for in steps
  // during this one, each once the step before has had time to arrive: the
  // pair's ends and the quadrics it was priced with; their blocks and flags; their lists where they
  // stand outside the blocks; their faces and pairs; for the refined method, whose guard and
  // pricing look at them, the states and places of the vertices around them (in the classic one
  // that last step cost more than it saved). Those misses then overlap this contraction's work
  // instead of stalling the next one, one dependent read after another. (At 10M triangles, reading
  // the pair's ends at once, not asking for them first, was 3% of the run; asking for the quadrics
  // only when the contraction starts left a seventh of the contraction's time waiting there.)
  void AheadPair() {
    // The refined method's ends are read ahead before its pair leaves the
    // queue: the guess must be right then (a node left behind stood second
    // in 6% of contractions), though making sure reads a record at once,
    // which the contraction before asks for (PrefetchNextSeconds: it waited
    // there in 3% of a 1M-triangle run).
    // The classic method reads the record ahead on a guess and takes the
    // certain next pair once its own has left (ContractPair).
    ahead_pair_ = Refined() ? heap_.SecondStanding() : heap_.Second();
    ahead_[0] = ahead_[1] = -1;
    if (ahead_pair_ >= 0) PrefetchLine(&run_.pairs[static_cast<size_t>(ahead_pair_)]);
    if (Refined()) heap_.PrefetchNextSeconds();
  }
  void AheadEnds() {
    if (ahead_pair_ < 0) return;
    const PairSlot& slot = run_.pairs[static_cast<size_t>(ahead_pair_)];
    const PairEnds e = slot.ends;
    if (!PairActive(e)) return;
    ahead_[0] = e.lo;
    ahead_[1] = e.hi;
    PrefetchLines(&run_.q[slot.priced.lo]);
    if (slot.priced.hi != kOwnState) PrefetchLines(&run_.q[slot.priced.hi]);
    for (const int32_t v : ahead_) {
      adjacency_.Prefetch(v);
      PrefetchLine(&run_.flags[static_cast<size_t>(v)]);
      if (Refined()) {
        kinds_.Prefetch(v);
        guard_.PrefetchFirstPos(v);
      } else {
        // The survivor's place, which its state left behind copies (the
        // refined method asks for the places with the ring's states).
        PrefetchLines(&run_.pos[static_cast<size_t>(v)]);
      }
    }
  }
  void AheadSpills() const {
    if (ahead_[0] < 0) return;
    for (const int32_t v : ahead_) adjacency_.PrefetchSpill(v);
  }
  void AheadLists() const {
    if (ahead_[0] < 0) return;
    for (const int32_t v : ahead_) {
      for (const int32_t j : adjacency_.Faces(v)) {
        guard_.Prefetch(j);
        PrefetchLine(&run_.faces[static_cast<size_t>(j)]);
      }
      PrefetchPairs(v);
    }
  }
  // Each vertex of the ring once: the ends, and around each end the corner
  // after it in every face (asking for every corner of every face asked for
  // each line four to six times over).
  void AheadRing() const {
    if (ahead_[0] < 0) return;
    for (const int32_t v : ahead_) AheadState(v);
    for (const int32_t v : ahead_) {
      for (const int32_t j : adjacency_.Faces(v)) {
        const FaceCorners& f = run_.faces[static_cast<size_t>(j)];
        if (!FaceHolds(f, v)) continue;
        const int32_t next = f[static_cast<size_t>((CornerOf(f, v) + 1) % 3)];
        if (next != ahead_[0] && next != ahead_[1]) AheadState(next);
      }
    }
  }
  void AheadState(int32_t v) const {
    PrefetchLines(&run_.pos[static_cast<size_t>(v)]);  // a third of them cross a line
    PrefetchLines(&run_.q[static_cast<size_t>(v)]);
    PrefetchLine(&run_.flags[static_cast<size_t>(v)]);  // the ring's release reads them
    kinds_.Prefetch(v);                                 // and pricing its pairs
  }

  // The states of the far ends of a's pairs, which the re-targets price.
  void PrefetchOtherEnds(int32_t a) const {
    for (const int32_t i : adjacency_.Pairs(a)) {
      const PairEnds& e = run_.pairs[static_cast<size_t>(i)].ends;
      if (e.lo >= 0) PrefetchLines(&run_.q[static_cast<size_t>(e.lo == a ? e.hi : e.lo)]);
    }
  }

  struct Neighbour {
    int32_t other;  // the pair's end that is not b
    int32_t pair;
  };

  DietRun& run_;
  SimplifyMethod method_;
  bool keep_inactive_;
  AttributeRun* attributes_;  // null: positions only
  PairHeap heap_;
  VertexAdjacency adjacency_;
  BorderKinds kinds_;  // refined only
  double budget_ = kNoBudget;
  bool over_budget_ = false;
  ContractionGuard guard_;
  // Per pair, when its cost is kBlocked: the face the guard refused it for, or
  // -1 (refined only).
  std::unique_ptr<int32_t[]> refused_face_;
  std::vector<int32_t> moved_, kept_, candidates_, changed_;
  std::vector<PairEnds> retargets_;  // classic: per candidate, its ends as a re-target
  std::vector<double> costs_;        // and its cost
  int32_t ahead_pair_ = -1;          // the pair read ahead, or -1
  int32_t ahead_[2] = {-1, -1};      // its ends, or -1
  std::vector<Neighbour> neighbours_;
  size_t old_neighbours_ = 0;  // neighbours_ from before the re-targets
  // States left behind, from first_left_ on: how many pair ends refer to each
  // (states of the pairs' own are not counted), and those free again.
  uint32_t first_left_;
  std::vector<uint32_t> left_refs_;
  std::vector<uint32_t> free_left_;
  // The pages that the states left behind and the adjacency's spilled lists
  // grow into, made on the core that the contraction leaves idle. Last: it
  // stops before the tables go.
  GrowthAhead q_ahead_{&pages_ahead_}, pos_ahead_{&pages_ahead_};
  PagesAhead pages_ahead_;
};

// The loop, for a run or for tables (keep_inactive).
void Contract(DietRun& run, double keep_ratio, SimplifyMethod method, bool keep_inactive,
              AttributeRun* attributes, ProgressSink& progress, double max_distance = kNoBudget,
              VertexAdjacency adjacency = {}, const LoadedMesh* loaded = nullptr) {
  int64_t F = 0;
  for (const FaceCorners& f : run.faces) F += FaceAlive(f) ? 1 : 0;
  const int64_t T = ContractionTarget(F, keep_ratio);
  ProgressMarks marks(T, 2, 50, 50);
  int64_t R = 0;
  progress.SetCaption("Surface Simplification...");
  progress.ProcessMessages();
  if (R >= T) return;

  Heartbeat heartbeat(progress);
  Contraction contraction(run, method, keep_inactive, attributes, std::move(adjacency), loaded,
                          heartbeat);
  contraction.SetBudget(max_distance);
  while (R < T) {
    // A contraction is long work next to a line of text: a check of the clock
    // every 64 or so.
    heartbeat.Beat(64);
    const int32_t p = contraction.SelectPair();
    if (p >= 0) contraction.ContractPair(p, R);
    // A budget ends the run at the first contraction whose error would leave it.
    if (contraction.OverBudget()) break;
    if (marks.Due(R)) marks.Report(R, progress);
    if (p < 0) break;
  }
}

}  // namespace

int64_t ContractionTarget(int64_t face_count, double keep_ratio) {
  return RoundHalfEven((1 - keep_ratio) * static_cast<double>(face_count));
}

void ContractMesh(DietRun& run, double keep_ratio, SimplifyMethod method, ProgressSink& progress,
                  AttributeRun* attributes, double max_distance, VertexAdjacency adjacency,
                  const LoadedMesh* loaded) {
  Contract(run, keep_ratio, method, false, attributes, progress, max_distance, std::move(adjacency),
           loaded);
}

namespace {

// Brings the tables up to date with the run before the bar moves, so that
// whoever looks at them at a progress mark sees them whole.
class TablesAtMarks final : public ProgressSink {
 public:
  TablesAtMarks(const DietRun& run, DietMesh& mesh, ProgressSink& inner)
      : run_(run), mesh_(mesh), inner_(inner) {}
  void Show() override { inner_.Show(); }
  void Hide() override { inner_.Hide(); }
  void SetCaption(const std::string& caption) override { inner_.SetCaption(caption); }
  void SetPosition(int position) override {
    RunToTables(run_, mesh_);
    inner_.SetPosition(position);
  }
  void ProcessMessages() override { inner_.ProcessMessages(); }
  void KeepResponsive() override { inner_.KeepResponsive(); }

 private:
  const DietRun& run_;
  DietMesh& mesh_;
  ProgressSink& inner_;
};

}  // namespace

void ContractMesh(DietMesh& mesh, double keep_ratio, ProgressSink& progress,
                  SimplifyMethod method) {
  DietRun run = RunFromTables(mesh);
  TablesAtMarks marks(run, mesh, progress);
  Contract(run, keep_ratio, method, true, nullptr, marks);
  RunToTables(run, mesh);
}

}  // namespace zelfin
