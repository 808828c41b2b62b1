#!/bin/sh
# The full indexing benchmark: the d-lists of tools/gen_indexing_minerals.py (every mineral and
# RANDOM random cells per lattice type, default 5) run through the Celix menu by the acceptance
# test, judged with edges within 5e-4 relative. Prints the success per crystal system.
# Usage: tools/bench_indexing.sh [BUILD_DIR] [RANDOM]
set -e
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build}
random=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$src/tools/gen_indexing_minerals.py" --all --random "$random" "$work/set.txt"
VKEST_INDEXING_SET="$work/set.txt" VKEST_INDEXING_KEEP="$work" QT_QPA_PLATFORM=offscreen \
  "$build/tests/test_indexing" --gtest_filter='AcceptanceTest.KnownCellsOfEveryLatticeType' >/dev/null
/usr/bin/python3 "$src/tools/judge_indexing.py" --edges 5e-4 "$work/found.txt" "$work/verdicts.txt"
if [ -n "$VKEST_INDEXING_KEEP" ]; then cp "$work/found.txt" "$work/verdicts.txt" "$VKEST_INDEXING_KEEP/"; fi
