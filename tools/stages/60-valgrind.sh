#!/usr/bin/env bash
# Whole sessions under valgrind's memcheck, leaks included: the integration
# rows without tight timing bounds run the program through valgrind, and any
# report (on standard error, which the suite checks) fails its row.
# usage: 60-valgrind.sh packages|run
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${RAVLO_BUILD_DIR:-$root/build}-valgrind
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
memcheck="valgrind --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible"

case "${1:-run}" in
  packages) echo cmake make g++ python3 util-linux valgrind ;;
  run)
    cmake -S "$root" -B "$build" -DRAVLO_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" -j"$jobs" --target ravlo
    groups=()
    for group in session negotiation files hostile badinput programs limits; do groups+=(--group "$group"); done
    python3 "$root/tests/integration/run.py" --binary "$build/ravlo" --launcher "$memcheck" "${groups[@]}"
    ;;
esac
