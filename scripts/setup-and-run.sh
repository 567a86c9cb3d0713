#!/usr/bin/env bash
# First steps on a fresh machine: install what is missing, build, and make the
# sample model. With a display, open the window program on the sample (the
# setup dialog comes up first); without one, divide the sample by material into
# sample-out/ with zelfin-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build/make_sample_model samples/model.obj
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Opening zelfin on samples/model.obj: confirm the setup dialog; by default the outputs go beside the sample."
  exec build/bin/zelfin samples/model.obj
fi
mkdir -p sample-out
build/bin/zelfin-cli -m material -o sample-out samples/model.obj
echo "No display: divided with zelfin-cli. Written into sample-out/:"
ls -l sample-out
