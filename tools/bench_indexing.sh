#!/bin/sh
# The full indexing benchmark: the d-lists of tools/gen_indexing_minerals.py (every mineral and
# RANDOM random cells per lattice type, default 5) run through the Celix menu by the acceptance
# test and Save Results, judged with edges within 5e-4 relative. Every case runs on SEEDS seeds
# (default 5): seed s draws new noise, missing and impurity lines (generator seed 20261208 + s)
# and moves the search's random generator by s from a new session's state. Prints the success
# per crystal system over all seeds, and apart the lists that do not determine their lattice.
# Environment: SYSTEM=1 searches every case as a triclinic cell (the system unknown); EARLY=1 or 2
# puts that many impurity lines among the first lines; JOBS (default 1, at most 4) seeds at once.
# Lists like a user's: MORE=1 adds the second set of structures, LINES=20-30 the true lines per
# list, IMPURITIES=1-2 the impurity lines, NOISE a list such as 1e-4,5e-4 (each list draws one;
# the edges are then judged per list, within four times its lines' relative error, at least 5e-4).
# Usage: tools/bench_indexing.sh [BUILD_DIR] [RANDOM] [SEEDS] [FIRST_SEED] [NOISE]
set -e
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build}
random=${2:-5}
seeds=${3:-5}
first=${4:-1}
noise=${5:-1e-4}
jobs=${JOBS:-1}
[ "$jobs" -gt 4 ] && jobs=4
case "$noise" in
  *,*) edges=auto ;;
  *) edges=$(awk -v n="$noise" 'BEGIN { e = 4 * n; if (e < 5e-4) e = 5e-4; print e }') ;;
esac
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: >"$work/found.txt"
run_seed() {
  mkdir -p "$work/$1"
  /usr/bin/python3 "$src/tools/gen_indexing_minerals.py" --all --random "$random" --seed $((20261208 + $1)) \
    --noise "$noise" --early "${EARLY:-0}" --lines "${LINES:-20}" --impurities "${IMPURITIES:-1}" \
    ${MORE:+--more} "$work/$1/set.txt"
  VKEST_INDEXING_SET="$work/$1/set.txt" VKEST_INDEXING_KEEP="$work/$1" VKEST_INDEXING_SEED=$1 \
    VKEST_INDEXING_SYSTEM=${SYSTEM:-0} QT_QPA_PLATFORM=offscreen "$build/tests/test_indexing" \
    --gtest_filter='AcceptanceTest.KnownCellsOfEveryLatticeType' >/dev/null || true
}
s=$first
while [ "$s" -lt $((first + seeds)) ]; do
  n=0
  while [ "$n" -lt "$jobs" ] && [ "$s" -lt $((first + seeds)) ]; do
    run_seed "$s" &
    s=$((s + 1))
    n=$((n + 1))
  done
  wait
done
s=$first
sets=
while [ "$s" -lt $((first + seeds)) ]; do
  cat "$work/$s/found.txt" >>"$work/found.txt"
  sets="$sets${sets:+,}$work/$s/set.txt"
  s=$((s + 1))
done
/usr/bin/python3 "$src/tools/judge_indexing.py" --edges "$edges" --sets "$sets" "$work/found.txt" "$work/verdicts.txt"
if [ -n "$VKEST_INDEXING_KEEP" ]; then
  cp "$work/found.txt" "$work/verdicts.txt" "$VKEST_INDEXING_KEEP/"
  s=$first
  while [ "$s" -lt $((first + seeds)) ]; do
    cp "$work/$s/set.txt" "$VKEST_INDEXING_KEEP/set$s.txt"
    s=$((s + 1))
  done
fi
