#!/usr/bin/env bash
# Installs the Debian packages Vireon needs to build, run and test.
# Idempotent: does nothing when everything is already there.
# Usage: scripts/install-deps.sh [package|clang|mingw]
#   package  also the tools that build and check the Debian package
#   clang    also clang with libFuzzer and the sanitizer runtimes, for
#            scripts/build.sh clang and scripts/fuzz.sh
#   mingw    also the MinGW-w64 cross compiler, Wine and GoogleTest's sources,
#            for scripts/build.sh mingw and scripts/wine-tests.sh
#   outside  also the programs we check ourselves against: the readers of the
#            exports (pandas, gnuplot), the VXI-11 clients lxi-tools and
#            pyvisa-py, and tshark's dissectors
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libyaml-cpp-dev libserialport-dev libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core fonts-noto-core xvfb xauth
)
case "${1:-}" in
  "") ;;
  package)
    # dpkg-dev computes the package's dependencies (dpkg-shlibdeps);
    # librsvg2-bin renders the PNG icons; x11-utils finds the window.
    packages+=(
      dpkg-dev librsvg2-bin file
      lintian desktop-file-utils appstream x11-utils
    ) ;;
  clang) packages+=(clang libclang-rt-14-dev llvm) ;;
  mingw) packages+=(g++-mingw-w64-x86-64-posix wine wine64 googletest) ;;
  outside) packages+=(python3 python3-pandas gnuplot-nox lxi-tools python3-pyvisa-py tshark) ;;
  *) echo "unknown package set: $1 (expected: package, clang, mingw or outside)" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
