#!/usr/bin/env bash
# Installs the Node.js peers of the quality benchmark (simplify_quality
# --textured and --real), the meshoptimizer npm package (its simplifier as
# WebAssembly), into bench/node_modules, at the version bench/package.json
# pins. Needs node and npm (Debian: apt-get install nodejs npm). Not part of
# the build or the tests: simplify_quality skips the peer with a notice when it
# is missing.
set -euo pipefail
cd "$(dirname "$0")"
npm install --no-audit --no-fund --no-package-lock
node -e "import('meshoptimizer').then(m => m.MeshoptSimplifier.ready).then(() => console.log('meshoptimizer ready'))"
