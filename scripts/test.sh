#!/usr/bin/env bash
# Builds Zelfin and runs every test. BUILD_DIR and ZELFIN_SANITIZE as for build.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
