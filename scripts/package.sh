#!/usr/bin/env bash
# Builds the Debian package of the relay (Release, without tests and
# benchmarks) in ./build-pkg and prints the path of the .deb, and nothing
# else, on standard output: deb=$(bash scripts/package.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
# dpkg-shlibdeps computes Depends; CPack picks the ELF files out with file.
bash scripts/deps.sh dpkg-dev file >&2
cmake -S . -B build-pkg -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DRELAY_BUILD_TESTS=OFF -DRELAY_BUILD_BENCH=OFF -DRELAY_FUZZ=OFF >/dev/null
cmake --build build-pkg --parallel "$(nproc)" >&2
# A .deb left from an older version would make the one just built ambiguous.
rm -f build-pkg/*.deb
(cd build-pkg && cpack -G DEB) >&2
debs=(build-pkg/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] \
  || { echo "expected one .deb in build-pkg, found: ${debs[*]}" >&2; exit 1; }
echo "$PWD/${debs[0]}"
