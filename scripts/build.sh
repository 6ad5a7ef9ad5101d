#!/usr/bin/env bash
# Configures and builds one build folder.
# Usage: scripts/build.sh [plain|sanitize|clang|tsan|mingw] [target...]
#   plain     g++, build/
#   sanitize  g++ with AddressSanitizer and UndefinedBehaviorSanitizer, build-sanitize/
#   clang     clang++, build-clang/: proves the tree builds warning-free with a
#             second compiler; CI runs only the bus tests from it, the whole
#             suite already runs on the g++ builds.
#   tsan      clang++ with ThreadSanitizer, build-tsan/, no benchmarks: CI
#             builds and runs only vireon_bus_tests from it (the bus, core
#             and platform tests, where the worker and transfer threads are).
#   mingw     the bus layer alone for 64-bit Windows with MinGW-w64, build-mingw/:
#             vireon_bus, the fake vendor DLLs and the bus tests, run under
#             Wine by scripts/wine-tests.sh. GoogleTest is built first from
#             Debian's sources (/usr/src/googletest) with the cross compiler.
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-plain}
shift || true
compiler=()
case "$kind" in
  plain) dir=build; flags=(-DVIREON_SANITIZE=OFF) ;;
  sanitize) dir=build-sanitize; flags=(-DVIREON_SANITIZE=ON -DVIREON_BUILD_BENCH=OFF) ;;
  clang) dir=build-clang; flags=(-DVIREON_SANITIZE=OFF); compiler=(-DCMAKE_CXX_COMPILER=clang++) ;;
  tsan)
    dir=build-tsan
    flags=(-DVIREON_SANITIZE=OFF -DVIREON_TSAN=ON -DVIREON_BUILD_BENCH=OFF)
    compiler=(-DCMAKE_CXX_COMPILER=clang++) ;;
  mingw)
    dir=build-mingw
    toolchain=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake")
    command -v ccache >/dev/null && toolchain+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    gtest="$PWD/$dir/gtest"
    if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
      cmake -S /usr/src/googletest -B "$dir/gtest-build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$gtest" "${toolchain[@]}" >/dev/null
      cmake --build "$dir/gtest-build" -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
      cmake --install "$dir/gtest-build" >/dev/null
    fi
    flags=("${toolchain[@]}" -DVIREON_BUS_ONLY=ON -DVIREON_BUILD_BENCH=OFF
      -DGTest_DIR="$gtest/lib/cmake/GTest")
    [ $# -gt 0 ] || set -- vireon_bus_tests fakegpib ;;
  *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIREON_WERROR=ON "${compiler[@]}" "${flags[@]}" >/dev/null
jobs=$(nproc 2>/dev/null || echo 2)
if [ $# -gt 0 ]; then
  for t in "$@"; do cmake --build "$dir" -j"$jobs" --target "$t"; done
else
  cmake --build "$dir" -j"$jobs"
fi
