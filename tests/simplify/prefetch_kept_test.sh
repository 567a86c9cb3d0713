#!/usr/bin/env bash
# The contraction asks for the memory of the next steps ahead (prefetch
# instructions). GCC drops a prefetch in a function that does nothing else
# unless platform/prefetch.h keeps it; without them the simplification runs
# about a fifth slower and no other test notices. This looks for them in the
# built program's contraction.
# Usage: prefetch_kept_test.sh PATH_TO_ZELFIN_CLI. Exit 77 (skipped) off x86-64
# or without objdump.
set -euo pipefail
if [[ "$(uname -m)" != x86_64 ]] || ! command -v objdump >/dev/null; then
  echo "not x86-64, or objdump is not installed: skipped"
  exit 77
fi
count=$(objdump -d --no-show-raw-insn -C "$1" |
  awk '/^[0-9a-f]+ </ { inside = /zelfin::\(anonymous namespace\)::Contract/ } inside && /prefetch/' |
  wc -l)
echo "prefetch instructions in the contraction: $count"
[[ "$count" -ge 8 ]]
