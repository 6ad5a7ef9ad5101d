#!/usr/bin/env bash
# Configures and builds one build folder.
# Usage: scripts/build.sh [plain|sanitize|clang] [target...]
#   plain     g++, build/
#   sanitize  g++ with AddressSanitizer and UndefinedBehaviorSanitizer, build-sanitize/
#   clang     clang++, build-clang/: proves the tree builds warning-free with a
#             second compiler; CI runs only the bus tests from it, the whole
#             suite already runs on the g++ builds.
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-plain}
shift || true
compiler=()
case "$kind" in
  plain) dir=build; flags=(-DVIREON_SANITIZE=OFF) ;;
  sanitize) dir=build-sanitize; flags=(-DVIREON_SANITIZE=ON -DVIREON_BUILD_BENCH=OFF) ;;
  clang) dir=build-clang; flags=(-DVIREON_SANITIZE=OFF); compiler=(-DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIREON_WERROR=ON "${compiler[@]}" "${flags[@]}" >/dev/null
jobs=$(nproc 2>/dev/null || echo 2)
if [ $# -gt 0 ]; then
  for t in "$@"; do cmake --build "$dir" -j"$jobs" --target "$t"; done
else
  cmake --build "$dir" -j"$jobs"
fi
