#include "common/node_peer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace zelfin::bench {

namespace {

// `name` in a folder of PATH, or "" (execv does not search PATH).
std::string OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  const std::string rest = path ? path : "";
  for (size_t at = 0; at <= rest.size();) {
    const size_t end = std::min(rest.find(':', at), rest.size());
    const std::string candidate = rest.substr(at, end - at) + "/" + name;
    if (end > at && access(candidate.c_str(), X_OK) == 0) return candidate;
    at = end + 1;
  }
  return "";
}

}  // namespace

NodePeer FindNodePeer(const std::string& bench_dir) {
  NodePeer peer{OnPath("node"), ""};
  if (peer.node.empty()) {
    peer.missing = "node is not on PATH";
  } else if (access((bench_dir + "/node_modules/meshoptimizer/package.json").c_str(), R_OK) != 0) {
    peer.missing = "the meshoptimizer npm package is not installed: run bench/install-peer.sh";
  }
  return peer;
}

}  // namespace zelfin::bench
