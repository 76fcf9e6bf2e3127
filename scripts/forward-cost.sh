#!/usr/bin/env bash
# Instructions (user space, all threads, counted by callgrind) that the relay
# spends to forward one datagram: ground station to 10 vehicles, and one
# vehicle frame to 9 other vehicles. Two runs with different counts are
# subtracted so that start-up and shutdown cancel out; only the relay's own
# threads are counted, not the main thread that plays the peers.
# Usage: scripts/forward-cost.sh [build dir, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
bash scripts/deps.sh --run valgrind
cmake --build "$build" --target relay-forward-cost >/dev/null

instructions() { # mode count
  local dir; dir=$(mktemp -d)
  valgrind --tool=callgrind --separate-threads=yes \
    --callgrind-out-file="$dir/cg" "$build/bench/relay-forward-cost" "$1" "$2" >/dev/null 2>&1
  # cg-01 is the main thread (the peers); every other file is a relay thread.
  for f in "$dir"/cg-*; do
    [ "${f##*-}" = 01 ] && continue
    awk '/^(summary|totals):/ {print $2; exit}' "$f"
  done | awk '{s += $1} END {print s}'
  rm -rf "$dir"
}

for mode in gcs uav; do
  fanout=10; [ "$mode" = uav ] && fanout=9
  a=$(instructions "$mode" 100)
  b=$(instructions "$mode" 300)
  per=$(( (b - a) / 200 ))
  echo "$mode: $per instructions per datagram in, $(( per / fanout )) per datagram delivered (fan-out $fanout)"
done
