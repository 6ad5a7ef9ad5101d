#!/usr/bin/env bash
# Builds the Debian package: a Release build of the console alone, in its own
# folder, packed by CPack. Leaves vireon_<version>_<arch>.deb here.
# scripts/check-package.sh checks it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh package

dir=build-package
# Debian's hardening flags, as a Debian build would use; no debug
# information, since the package is stripped anyway.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CXXFLAGS_MAINT_STRIP=-g
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

# A packager's compiler may warn about things ours does not: warnings stay
# warnings here.
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVIREON_WERROR=OFF -DVIREON_SANITIZE=OFF \
  -DVIREON_BUILD_TESTS=OFF -DVIREON_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
jobs=$(nproc 2>/dev/null || echo 2)
cmake --build "$dir" -j"$jobs" --target vireon vireon-serve vireon_data

rm -f vireon_*.deb "$dir"/vireon_*.deb
(cd "$dir" && cpack -G DEB)
mv "$dir"/vireon_*.deb .
ls -l vireon_*.deb
