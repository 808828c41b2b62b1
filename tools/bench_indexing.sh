#!/bin/sh
# The full indexing benchmark: the d-lists of tools/gen_indexing_minerals.py (every mineral and
# RANDOM random cells per lattice type, default 5) run through the Celix menu by the acceptance
# test and Save Results, judged with edges within 5e-4 relative. Every case runs on SEEDS seeds
# (default 5): seed s draws new noise, missing and impurity lines (generator seed 20261208 + s)
# and moves the search's random generator by s from a new session's state. Prints the success
# per crystal system over all seeds.
# Usage: tools/bench_indexing.sh [BUILD_DIR] [RANDOM] [SEEDS] [FIRST_SEED]
set -e
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build}
random=${2:-5}
seeds=${3:-5}
first=${4:-1}
noise=${5:-1e-4}
edges=$(awk -v n="$noise" 'BEGIN { e = 4 * n; if (e < 5e-4) e = 5e-4; print e }')
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: >"$work/found.txt"
s=$first
while [ "$s" -lt $((first + seeds)) ]; do
  mkdir -p "$work/$s"
  /usr/bin/python3 "$src/tools/gen_indexing_minerals.py" --all --random "$random" --seed $((20261208 + s)) \
    --noise "$noise" "$work/$s/set.txt"
  VKEST_INDEXING_SET="$work/$s/set.txt" VKEST_INDEXING_KEEP="$work/$s" VKEST_INDEXING_SEED=$s \
    QT_QPA_PLATFORM=offscreen "$build/tests/test_indexing" \
    --gtest_filter='AcceptanceTest.KnownCellsOfEveryLatticeType' >/dev/null
  cat "$work/$s/found.txt" >>"$work/found.txt"
  s=$((s + 1))
done
/usr/bin/python3 "$src/tools/judge_indexing.py" --edges "$edges" "$work/found.txt" "$work/verdicts.txt"
if [ -n "$VKEST_INDEXING_KEEP" ]; then cp "$work/found.txt" "$work/verdicts.txt" "$VKEST_INDEXING_KEEP/"; fi
