#!/usr/bin/env bash
# Installs the Debian packages the relay needs to build and run (--run), or
# to build, run and test it, skipping those already present.
# Usage: scripts/deps.sh [--run] [extra packages...]
set -euo pipefail

packages=(cmake make g++ pkg-config qtbase5-dev libqt5serialport5-dev libmicrohttpd-dev
          fonts-wqy-microhei)
if [ "${1:-}" = --run ]; then
  shift
else
  # The tests drive serial ports on pseudo-terminals, a virtual display and
  # read captures back.
  packages+=(socat xvfb xauth tshark)
fi
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Please run as root or install sudo." >&2; exit 1; }
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
