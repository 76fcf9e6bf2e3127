#!/usr/bin/env bash
# Builds the Debian package of the relay (Release, without tests and
# benchmarks) in ./build-pkg and prints the path of the .deb, and nothing
# else, on standard output: deb=$(bash scripts/package.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
# dpkg-shlibdeps computes Depends; CPack picks the ELF files out with file.
bash scripts/deps.sh dpkg-dev file >&2
# Debian's hardening flags (fortify, stack protector, read-only relocations
# bound at start), as its own packages get them; -g and -O2 left to the
# Release build, and -Wdate-time because the version names its build date.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP="-g -O2" \
  DEB_CPPFLAGS_MAINT_STRIP=-Wdate-time
cmake -S . -B build-pkg -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DRELAY_BUILD_TESTS=OFF -DRELAY_BUILD_BENCH=OFF -DRELAY_FUZZ=OFF >/dev/null
cmake --build build-pkg --parallel "$(nproc)" >&2
# A .deb left from an older version would make the one just built ambiguous.
rm -f build-pkg/*.deb
(cd build-pkg && cpack -G DEB) >&2
debs=(build-pkg/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] \
  || { echo "expected one .deb in build-pkg, found: ${debs[*]}" >&2; exit 1; }
echo "$PWD/${debs[0]}"
