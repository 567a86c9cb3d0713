#!/usr/bin/env bash
# Renders every window of the program to docs/guide/img/*.png (Qt's offscreen
# platform; no display needed). Builds into $BUILD_DIR (default build/) first.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${BUILD_DIR:-build}"
[ -f "$build_dir/CMakeCache.txt" ] || cmake -S . -B "$build_dir" -G Ninja >/dev/null
cmake --build "$build_dir" --target render_screenshots -j "$(nproc)"
mkdir -p docs/guide/img
QT_QPA_PLATFORM=offscreen "$build_dir/render_screenshots" docs/guide/img
ls -l docs/guide/img
