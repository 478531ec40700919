#!/usr/bin/env bash
# Fuzzes the chunk path (normalise, error keywords, prompt test), the Telnet
# filter and the road of the host's text (its Telnet answers, escapes, page
# joining, masking, transcript and records)
# with libFuzzer under ASan + UBSan: each replays the committed seeds, then
# fuzzes for a bounded time (RAVLO_FUZZ_SECONDS, 15 by default; longer runs
# are for finding new inputs, not for every check of a change).
# usage: 50-fuzz.sh packages|run
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${RAVLO_BUILD_DIR:-$root/build}-fuzz
seconds=${RAVLO_FUZZ_SECONDS:-15}
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

case "${1:-run}" in
  packages) echo cmake make clang libclang-rt-14-dev ;;
  run)
    cmake --preset fuzz -S "$root" -B "$build" >/dev/null
    cmake --build "$build" -j"$jobs" --target fuzz_chunk fuzz_telnet fuzz_road
    # New inputs go to a scratch directory, never into the committed seeds.
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    status=0
    for target in chunk:10240 telnet:512 road:512; do
      name=${target%%:*} max_len=${target#*:}
      mkdir -p "$scratch/$name"
      echo "-- fuzz_$name for ${seconds}s"
      if "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len="$max_len" \
          -print_final_stats=1 -artifact_prefix="$scratch/" \
          "$scratch/$name" "$root/tests/fuzz/corpus/$name" >"$scratch/$name.log" 2>&1; then
        grep -E 'stat::number_of_executed_units|stat::new_units_added' "$scratch/$name.log"
      else
        status=1
        tail -n 40 "$scratch/$name.log"
        for crash in "$scratch"/crash-* "$scratch"/leak-* "$scratch"/timeout-*; do
          [ -e "$crash" ] && { echo "input $crash:"; od -An -tx1 "$crash" | head -n 20; }
        done
      fi
    done
    exit $status
    ;;
esac
