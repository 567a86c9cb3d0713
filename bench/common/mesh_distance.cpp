#include "common/mesh_distance.h"

#include "platform/progress_sink.h"

namespace zelfin::bench {

OneSided MeasureDistances(const std::vector<double>& points, const TriangleTree& tree) {
  SilentProgress silent;
  Heartbeat heartbeat(silent);
  return zelfin::MeasureDistances(points, tree, heartbeat);
}

Symmetric Compare(const Surface& a, const Surface& b) {
  return Combine(MeasureDistances(a.samples, b.tree), MeasureDistances(b.samples, a.tree));
}

}  // namespace zelfin::bench
