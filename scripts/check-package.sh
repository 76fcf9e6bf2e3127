#!/usr/bin/env bash
# shellcheck disable=SC2317  # the helpers are only called through check()
# Installs a built .deb as a user would and checks that it lands like one of
# Debian's own packages. Every check is run and printed; the exit status is 1
# if any failed. Usage (as root): scripts/check-package.sh DEB
set -euo pipefail
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
  echo "usage: $0 DEB" >&2
  exit 2
fi
# apt takes a local file only as a path; --reinstall so that a rebuilt .deb
# of an unchanged version replaces the one installed before.
deb=$(realpath "$1")
DEBIAN_FRONTEND=noninteractive apt-get install -y --reinstall "$deb"

failed=0
check() { # what, command...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failed=1; fi
}
no_warnings() { # the page renders, and groff had nothing to say about it
  local out
  if ! out=$(man --warnings -l "$1" 2>&1 >/dev/null) || [ -n "$out" ]; then
    echo "$out"
    return 1
  fi
}
launcher_folder() { # HOME, XDG_DATA_HOME (unset if empty), folder it must make
  if [ -n "$2" ]; then
    HOME=$1 XDG_DATA_HOME=$2 "$launcher" --version >/dev/null
  else
    env -u XDG_DATA_HOME HOME="$1" "$launcher" --version >/dev/null
  fi
  test -d "$3"
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
doc=/usr/share/doc/uav-sim-relay

# A minimal image may have dpkg drop every manual page as it installs; then
# man cannot find ours whatever the package holds, so the page inside the
# .deb is checked instead, and that is said.
excludes=$(grep -ls '^path-exclude[= ]*/usr/share/man' /etc/dpkg/dpkg.cfg.d/* || true)
if [ -z "$excludes" ]; then
  check "man -w uav-sim-relay" man -w uav-sim-relay
  check "manual page renders without warnings" no_warnings "$(man -w uav-sim-relay || true)"
else
  echo "note: dpkg here drops manual pages ($excludes); checking the page in the .deb"
  dpkg-deb -x "$deb" "$tmp/deb"
  check "manual page in the .deb renders without warnings" \
    no_warnings "$tmp/deb/usr/share/man/man1/uav-sim-relay.1.gz"
fi

check "DEP-5 copyright" grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$doc/copyright"
check "README" test -s "$doc/README.md.gz"
check "example settings file" grep -q '^\[Connect\]' "$doc/examples/app.ini"
check "example settings file is valid" uav-sim-relay --check-config "$doc/examples/app.ini"
check "icon" test -s /usr/share/icons/hicolor/scalable/apps/uav-sim-relay.svg

entry=/usr/share/applications/uav-sim-relay.desktop
check "desktop-file-validate $entry" desktop-file-validate "$entry"
check "desktop entry names the installed icon" grep -qx 'Icon=uav-sim-relay' "$entry"
launcher=$(sed -n 's/^Exec=//p' "$entry")
check "uav-sim-relay --version" uav-sim-relay --version

# The menu's launcher makes the per-user folder and runs the program from it:
# by default under ~/.local/share, or under XDG_DATA_HOME when that is set.
check "launcher $launcher makes ~/.local/share/uav-sim-relay" \
  launcher_folder "$tmp/a" "" "$tmp/a/.local/share/uav-sim-relay"
check "launcher honours XDG_DATA_HOME" \
  launcher_folder "$tmp/b" "$tmp/data" "$tmp/data/uav-sim-relay"

echo "lintian $deb:"
check "lintian reports no errors" lintian --display-info "$deb"
exit "$failed"
