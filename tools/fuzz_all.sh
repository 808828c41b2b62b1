#!/usr/bin/env bash
# The long fuzz run: every target for a million executions (or FUZZ_RUNS), each on up to
# FUZZ_WORKERS cores (4 by default; the runs of one target share its corpus). Findings in
# build-fuzz/fuzz-findings/<target>/.
#   tools/fuzz_all.sh                    every target
#   FUZZ_RUNS=100000 tools/fuzz_all.sh   a shorter run
#   FUZZ_TIME=600 tools/fuzz_all.sh      also at most 600 s per target
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/fuzz_run.sh
build="${FUZZ_BUILD:-$PWD/build-fuzz}"
export FUZZ_KEEP_CORPUS=1  # the corpus grows from one long run to the next
vkest_build_fuzz "$build" || { echo "clang with libFuzzer (clang, libclang-rt-14-dev) is needed"; exit 1; }
workers="${FUZZ_WORKERS:-4}"
runs="${FUZZ_RUNS:-1000000}"
# -runs counts the executions of each worker: a million in all.
limit=()
[ -z "${FUZZ_TIME:-}" ] || limit=(-max_total_time="$FUZZ_TIME")
vkest_run_fuzz "$build" "${limit[@]}" -runs=$(( runs / workers )) -jobs="$workers" -workers="$workers" -timeout=1 \
  -max_len=65536 -print_final_stats=1
