#pragma once
// The Node.js peers of the quality benchmark (bench/*.mjs): node on PATH and
// the meshoptimizer npm package that bench/install-peer.sh puts into
// bench/node_modules.
#include <string>

namespace zelfin::bench {

struct NodePeer {
  std::string node;     // node's path
  std::string missing;  // why the peer cannot run, or ""
};

// bench_dir: the source tree's bench folder.
NodePeer FindNodePeer(const std::string& bench_dir);

}  // namespace zelfin::bench
