#pragma once
// Where the refined method may move a vertex: its border kind.
//
// A border edge is an edge of one live triangle (an open border: a hole, a cut
// edge, the outline of an open part) or, with attributes, an edge whose two
// triangles give one of its ends different wedges (a UV seam, a hard edge, a
// material border). A vertex is inside when none of its edges is a border; a
// vertex on exactly two border edges of one sort, whose triangles form one fan,
// lies on a border line and may move only along it. Every other vertex is
// locked: where borders meet, cross or end, where an open border turns
// sharply, where more than two triangles share an edge, or where the
// triangles around a vertex form more than one fan (two sheets touching).
#include <cstdint>
#include <vector>

#include "platform/heartbeat.h"
#include "platform/prefetch.h"
#include "simplify/diet_adjacency.h"
#include "simplify/diet_attributes.h"
#include "simplify/diet_run.h"

namespace zelfin {

enum class BorderKind : uint8_t { kInside, kSeam, kOpen, kLocked };

// The kinds of every vertex, and what working out one kind needs.
class BorderKinds {
 public:
  BorderKind Of(int32_t v) const { return kind_[static_cast<size_t>(v)]; }
  // Asks for v's kind (once started).
  void Prefetch(int32_t v) const {
    if (static_cast<size_t>(v) < kind_.size()) PrefetchLine(&kind_[static_cast<size_t>(v)]);
  }

  // Every vertex's kind from its live faces, on two threads; and, once, the
  // constraint plane of every open border edge added to the quadrics of its
  // ends, so that choosing among border contractions follows the outline's
  // shape (after Garland and Heckbert 1997).
  void Start(DietRun& run, const VertexAdjacency& adjacency, const AttributeRun* attributes,
             Heartbeat& heartbeat);

  // v's kind worked out again from its faces as they stand; true when it changed.
  bool Update(const DietRun& run, const VertexAdjacency& adjacency, const AttributeRun* attributes,
              int32_t v);

 private:
  // One edge around a vertex: its other end, its live faces (the first two
  // by their place in the vertex's face list), and whether its ends carry
  // different wedges in different faces.
  struct Edge {
    int32_t other;
    int faces;
    int32_t first_face, second_face;
    int32_t own_wedge, other_wedge;
    bool differs;
  };

  // What working out one vertex's kind uses, one per thread.
  struct Scratch {
    std::vector<Edge> edges;  // the edges around the vertex
    std::vector<int32_t> fan;
  };

  static BorderKind Classify(const DietRun& run, const VertexAdjacency& adjacency,
                             const AttributeRun* attributes, int32_t v, Scratch& s);
  static void CollectEdges(const DietRun& run, const VertexAdjacency& adjacency,
                           const AttributeRun* attributes, int32_t v, int& wedges, Scratch& s);
  static bool OneFan(size_t face_count, Scratch& s);
  static bool TurnsSharply(const DietRun& run, int32_t v, const Scratch& s);
  static void AddOpenEdgePlanes(DietRun& run, const VertexAdjacency& adjacency, int32_t v,
                                const Scratch& s);

  std::vector<BorderKind> kind_;
  Scratch scratch_;  // the contraction's
};

}  // namespace zelfin
