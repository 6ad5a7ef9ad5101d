#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: once as built, once
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
if [ -f tests/lsan.supp ]; then
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
fi
jobs=$(nproc 2>/dev/null || echo 2)

echo "== Tests =="
scripts/build.sh plain
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 300

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
scripts/build.sh sanitize
ctest --test-dir build-sanitize --output-on-failure -j"$jobs" --timeout 600
