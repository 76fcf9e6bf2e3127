#!/usr/bin/env bash
# Configures and builds the relay, its tests and benchmarks into ./build.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRELAY_BUILD_TESTS=ON \
  -DRELAY_BUILD_BENCH=ON >/dev/null
cmake --build build --parallel "$(nproc)"
