#!/usr/bin/env bash
# Builds the fuzzers with clang (libFuzzer, ASan, UBSan) and runs each from
# its committed seeds for a while; fails on any crash, hang or finding.
#   fuzz_parsers:  the frame parsers of the vehicle link
#   fuzz_settings: the settings file read and written by a port form
# Usage: scripts/fuzz.sh [build dir, default build-fuzz] [seconds per fuzzer,
#        default 60]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-build-fuzz}"
seconds="${2:-60}"
mkdir -p "$build"
build="$(cd "$build" && pwd)"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DRELAY_FUZZ=ON -DRELAY_BUILD_TESTS=OFF -DRELAY_BUILD_BENCH=OFF
cmake --build "$build" --target fuzz_parsers fuzz_settings -j 2

# Qt's own leaks at exit are not ours; see the file for each entry.
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# Freed memory is held back to catch late uses; the default 256 MB of it
# takes the settings fuzzer, whose forms free megabytes per input, near
# libFuzzer's 2 GB limit within a minute (measured 1.6 GB; 0.5 GB with 32).
export ASAN_OPTIONS="quarantine_size_mb=32"

# New inputs go to a scratch corpus; the committed seeds are only read.
# A single input that takes more than 10 s counts as a hang.
for target in parsers settings; do
  corpus="$build/fuzz-corpus/$target"
  mkdir -p "$corpus"
  echo "== fuzz_$target for $seconds s"
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/" "$corpus" "$root/fuzz/corpus/$target"
done
