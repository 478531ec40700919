#!/usr/bin/env bash
# Builds the micro-benchmarks and runs each one very briefly, so they keep
# compiling and running. Nothing is judged by speed here; see docs/benchmarks.md.
# usage: 70-bench.sh packages|run
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${RAVLO_BUILD_DIR:-$root/build}-bench

case "${1:-run}" in
  packages) echo cmake make g++ libbenchmark-dev ;;
  run)
    cmake -S "$root" -B "$build" -DRAVLO_BUILD_BENCH=ON -DRAVLO_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" --target micro_bench -j2
    out=$("$build/bench/micro_bench" --benchmark_min_time=0.01 2>&1) || { echo "$out"; exit 1; }
    echo "$out"
    # A benchmark that cannot set itself up reports an error but exits 0.
    if grep -q 'ERROR OCCURRED' <<<"$out"; then exit 1; fi
    ;;
esac
