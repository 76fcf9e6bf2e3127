#!/usr/bin/env bash
# Builds the relay with clang and a sanitizer in a build directory of its
# own and runs tests under it; any report fails the run.
#   address: AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer;
#            the whole test suite.
#   thread:  ThreadSanitizer; only the tests that run links in threads of
#            their own (only those targets are built).
# Usage: scripts/sanitize.sh address|thread [build dir, default build-asan
#        or build-tsan]
# Qt is not instrumented; the reports it makes on its own are suppressed by
# tests/sanitizers/*.supp, where each entry says why.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
supp="$root/tests/sanitizers"
kind="${1:-}"

case "$kind" in
address)
  build="${2:-build-asan}"
  flags="-fsanitize=address,undefined -fno-sanitize-recover=all"
  targets=(all)
  tests=()
  export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:strict_init_order=1:detect_stack_use_after_return=1"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
  export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
  ;;
thread)
  build="${2:-build-tsan}"
  flags="-fsanitize=thread"
  tests=(tst_iohandler_udp tst_iohandler_serial tst_linklifecycle tst_linkregistry
         tst_relay tst_program tst_msgmanager tst_faults_udp tst_faults_serial tst_capture
         tst_iohandler_tcp)
  # tst_program starts the program itself.
  targets=(uav-sim-relay "${tests[@]}")
  # Qt's own memory operations (its calls of malloc, free, memcpy, ...) are
  # ignored like the rest of the uninstrumented Qt; see tsan.supp for why.
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$supp/tsan.supp:print_suppressions=0"
  ;;
*)
  echo "usage: $0 address|thread [build dir]" >&2
  exit 2
  ;;
esac

# -O1 keeps the instrumented tests fast and the stacks readable.
flags="$flags -O1 -g -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE= -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
  -DRELAY_BUILD_TESTS=ON -DRELAY_BUILD_BENCH=OFF -DRELAY_FUZZ=OFF >/dev/null
cmake --build "$build" --parallel 2 --target "${targets[@]}"

if [ "$kind" = thread ]; then
  # First prove that these settings still see a race of ours in a slot, and
  # nothing where a std::mutex orders the accesses.
  cmake -S "$supp" -B "$build/canary" -DCMAKE_BUILD_TYPE= -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
  cmake --build "$build/canary" >/dev/null
  if "$build/canary/tsan_canary" race >"$build/canary/race.log" 2>&1 ||
    ! grep -q "WARNING: ThreadSanitizer: data race" "$build/canary/race.log"; then
    cat "$build/canary/race.log" >&2
    echo "ThreadSanitizer missed the canary's race: these settings are blind" >&2
    exit 1
  fi
  "$build/canary/tsan_canary" locked
fi

filter=()
if [ ${#tests[@]} -gt 0 ]; then
  filter=(-R "^($(IFS='|'; echo "${tests[*]}"))\$")
fi
ctest --test-dir "$build" --output-on-failure "${filter[@]}"
