#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer, runs every test;
# then the same suite on the Release build, the build that ships (what the sanitizers slow down or
# hide shows there).
set -euo pipefail
cd "$(dirname "$0")"
. tools/install_deps.sh
vkest_install_deps
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVKEST_SANITIZE=ON
cmake --build build-test -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-test && ctest --output-on-failure -j "$(nproc)")
cmake -S . -B build-release-test -DCMAKE_BUILD_TYPE=Release -DVKEST_BENCH=OFF
cmake --build build-release-test -j "$(nproc)"
(cd build-release-test && ctest --output-on-failure -j "$(nproc)")
# The readers fuzzed briefly over their committed corpora plus fresh inputs (a regression check;
# tools/fuzz_all.sh is the long run). Needs clang with libFuzzer, installed above.
. tools/fuzz_run.sh
vkest_build_fuzz "$PWD/build-fuzz"
VKEST_FUZZ_SHORT=1 vkest_run_fuzz "$PWD/build-fuzz" -runs=3000 -seed=1 -timeout=10 -max_len=16384 -print_final_stats=1
