#!/usr/bin/env bash
# Installs what is missing, builds the program and its tests (benchmarks and
# fuzzers are built where they run: scripts/build.sh, scripts/fuzz.sh), and
# runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRELAY_BUILD_TESTS=ON \
  -DRELAY_BUILD_BENCH=OFF >/dev/null
cmake --build build --parallel "$(nproc)"
ctest --test-dir build --output-on-failure
