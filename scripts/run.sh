#!/usr/bin/env bash
# Installs what is missing, builds, and starts the relay window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'MSG'
No display found (DISPLAY is not set), so the relay window cannot be shown here.
The program is built in build/uav-sim-relay. To run it anyway:
  xvfb-run -a build/uav-sim-relay                       # in a virtual display
  QT_QPA_PLATFORM=offscreen build/uav-sim-relay         # without any display
  build/uav-sim-relay --headless                        # no window: reads ./cfg/app.ini, opens every link
MSG
  exit 1
fi
exec build/uav-sim-relay
