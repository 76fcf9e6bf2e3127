#!/usr/bin/env bash
# Installs what the program needs, builds the program alone and starts it:
# the window on a desktop, the relay without a window where there is no
# display (a server is what a user without one came for).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --run
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target uav-sim-relay --parallel "$(nproc)"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "No display: running the relay without a window on ./cfg/app.ini (Ctrl-C stops it;" \
    "for the window: xvfb-run -a build/uav-sim-relay)." >&2
  exec build/uav-sim-relay --headless "$@"
fi
exec build/uav-sim-relay "$@"
