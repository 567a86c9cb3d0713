#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# into build-fuzz/ and runs each for FUZZ_SECONDS (default 60) with a fixed
# seed, on a copy of its seed corpus. Fails on any crash, leak, timeout or
# sanitizer report; prints per target executions, seconds and coverage.
#
#   FUZZ_SECONDS=1900 FUZZ_PARALLEL=1 FUZZ_LOG_DIR=/tmp/fuzz-long scripts/fuzz.sh
#   scripts/fuzz.sh fuzz_division          # one target only
#
# FUZZ_PARALLEL=1 runs the targets at the same time (one core each).
# Crash inputs are kept as <log dir>/<target>-crash-<hash> and the like.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
build="${FUZZ_BUILD_DIR:-build-fuzz}"
jobs="${JOBS:-2}"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/zelfin-fuzz-XXXXXX")"
logs="${FUZZ_LOG_DIR:-$scratch/logs}"
mkdir -p "$logs"
trap 'rm -rf "$scratch/corpus"' EXIT

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZELFIN_FUZZ=ON >/dev/null
fi
cmake --build "$build" -j "$jobs"

all=(fuzz_division fuzz_simplify fuzz_settings fuzz_command_line)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")

# Longest input per target: the simplification is meant for a few hundred lines.
max_len() {
  case "$1" in
    fuzz_division) echo 16384 ;;
    fuzz_simplify) echo 16384 ;;
    fuzz_settings) echo 8192 ;;
    *) echo 4096 ;;
  esac
}

run_one() {
  local t="$1" corpus="$scratch/corpus/$1"
  mkdir -p "$corpus"
  cp tests/fuzz/corpus/"${t#fuzz_}"/* "$corpus"/
  local start end rc=0
  start=$(date +%s)
  # The targets fork no children; ASan's leak check runs at the end.
  "$build/tests/fuzz/$t" -seed=1 -max_total_time="$seconds" -max_len="$(max_len "$t")" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$logs/$t-" \
    "$corpus" >"$logs/$t.log" 2>&1 || rc=$?
  end=$(date +%s)
  echo "$rc $((end - start))" >"$logs/$t.result"
}

if [ "${FUZZ_PARALLEL:-0}" = 1 ]; then
  for t in "${targets[@]}"; do run_one "$t" & done
  wait
else
  for t in "${targets[@]}"; do run_one "$t"; done
fi

failed=0
printf '%-20s %12s %8s %8s %8s  %s\n' target executions seconds cov ft result
for t in "${targets[@]}"; do
  read -r rc secs <"$logs/$t.result"
  log="$logs/$t.log"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  result=ok
  if [ "$rc" != 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|fuzz invariant failed' "$log"; then
    result="FAILED (exit $rc, see $log)"
    failed=1
  fi
  printf '%-20s %12s %8s %8s %8s  %s\n' "$t" "${execs:-?}" "$secs" "${cov:-?}" "${ft:-?}" "$result"
done
if [ "$failed" != 0 ]; then
  for t in "${targets[@]}"; do
    grep -E -m5 -A3 'ERROR:|runtime error:|fuzz invariant failed' "$logs/$t.log" || true
  done
fi
# The scratch folder goes unless it holds the logs of a failed run.
if [ -n "${FUZZ_LOG_DIR:-}" ] || [ "$failed" = 0 ]; then rm -rf "$scratch"; fi
exit "$failed"
