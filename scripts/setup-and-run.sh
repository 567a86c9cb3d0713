#!/usr/bin/env bash
# First steps on a fresh machine: install what is missing, build, and divide
# the sample model by material into sample-out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build/make_sample_model samples/model.obj
mkdir -p sample-out
build/src/cli/zelfin-cli -m material -o sample-out samples/model.obj
echo "Written into sample-out/:"
ls -l sample-out
