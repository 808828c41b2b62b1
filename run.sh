#!/usr/bin/env bash
# Installs what is missing, builds vkest in Release and starts it.
set -euo pipefail
cd "$(dirname "$0")"
. tools/install_deps.sh
vkest_install_deps
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DVKEST_TESTS=OFF -DVKEST_BENCH=OFF
cmake --build build-release --target vkest -j "$(nproc)"
exec ./build-release/app/vkest "$@"
