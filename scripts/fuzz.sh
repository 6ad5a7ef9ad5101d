#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (build-fuzz/) and runs each
# for a bounded time on a copy of its seed corpus, so the tree stays as it is.
# Fails on the first finding; the input that caused it is kept in
# build-fuzz/findings/.
# Usage: scripts/fuzz.sh [seconds per target, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DVIREON_FUZZ=ON -DVIREON_WERROR=ON -DVIREON_BUILD_TESTS=OFF -DVIREON_BUILD_BENCH=OFF >/dev/null
jobs=$(nproc 2>/dev/null || echo 2)
cmake --build build-fuzz -j"$jobs" --target vireon_fuzzers

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
findings=build-fuzz/findings
mkdir -p "$findings"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

for dir in fuzz/corpus/*/; do
  target=$(basename "$dir")
  echo "== $target: ${seconds} s =="
  cp -r "$dir" "$work/$target"
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
  if ! "build-fuzz/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -timeout=25 -print_final_stats=1 -artifact_prefix="$findings/$target-" \
      "${dict[@]}" "$work/$target" 2>"$work/$target.log"; then
    tail -n 60 "$work/$target.log" >&2
    echo "$target found a fault; the input is in $findings/" >&2
    exit 1
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$target.log" || true
done
