#!/usr/bin/env bash
# The long random walk: 10^4 steps over the main window's inventory for each of two seeds, in the
# sanitizer build (its own build folder). A failing walk prints its shortest failing sequence;
# replay it with VKEST_WALK_REPLAY=<file> build-walk/tests/test_mainwin --gtest_filter='RandomWalk*'.
#   tools/walk_long.sh                     seeds 20261207 and 1
#   WALK_SEEDS="5 6" WALK_STEPS=20000 tools/walk_long.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build="${WALK_BUILD:-$PWD/build-walk}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVKEST_SANITIZE=ON -DVKEST_BENCH=OFF > /dev/null
cmake --build "$build" --target test_mainwin -j "${WALK_JOBS:-$(nproc)}"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for seed in ${WALK_SEEDS:-20261207 1}; do
  echo "== seed $seed, ${WALK_STEPS:-10000} steps"
  VKEST_WALK_SEED="$seed" VKEST_WALK_STEPS="${WALK_STEPS:-10000}" \
    "$build/tests/test_mainwin" --gtest_filter='RandomWalkTest.*' || status=1
done
exit $status
