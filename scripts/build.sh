#!/usr/bin/env bash
# Configures and builds Zelfin into $BUILD_DIR (default build/).
# ZELFIN_SANITIZE=ON builds with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${BUILD_DIR:-build}"
sanitize="${ZELFIN_SANITIZE:-OFF}"
bench=ON
[ "$sanitize" = "ON" ] && bench=OFF
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZELFIN_SANITIZE="$sanitize" -DZELFIN_BUILD_BENCH="$bench" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
