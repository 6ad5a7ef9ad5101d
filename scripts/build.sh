#!/usr/bin/env bash
# Configures and builds one build folder.
# Usage: scripts/build.sh [plain|sanitize] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-plain}
shift || true
case "$kind" in
  plain) dir=build; flags=(-DVIREON_SANITIZE=OFF) ;;
  sanitize) dir=build-sanitize; flags=(-DVIREON_SANITIZE=ON -DVIREON_BUILD_BENCH=OFF) ;;
  *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIREON_WERROR=ON "${flags[@]}" >/dev/null
jobs=$(nproc 2>/dev/null || echo 2)
if [ $# -gt 0 ]; then
  for t in "$@"; do cmake --build "$dir" -j"$jobs" --target "$t"; done
else
  cmake --build "$dir" -j"$jobs"
fi
