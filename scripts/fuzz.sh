#!/usr/bin/env bash
# Builds the frame-parser fuzzer with clang (libFuzzer, ASan, UBSan) and runs
# it from the committed seeds for a while; fails on any crash or finding.
# Usage: scripts/fuzz.sh [build dir, default build-fuzz] [seconds, default 60]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-build-fuzz}"
seconds="${2:-60}"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DRELAY_FUZZ=ON -DRELAY_BUILD_TESTS=OFF -DRELAY_BUILD_BENCH=OFF
cmake --build "$build" --target fuzz_parsers -j 2

# New inputs go to a scratch corpus; the committed seeds are only read.
corpus="$build/fuzz-corpus/parsers"
mkdir -p "$corpus"
"$build/fuzz/fuzz_parsers" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$build/" "$corpus" "$root/fuzz/corpus/parsers"
