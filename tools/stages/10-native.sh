#!/usr/bin/env bash
# Native build; unit, timer and integration tests.
# usage: 10-native.sh packages|run
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${RAVLO_BUILD_DIR:-$root/build}

case "${1:-run}" in
  packages) echo cmake make g++ libgtest-dev libgmock-dev python3 util-linux locales inetutils-telnetd busybox-static frr ser2net iproute2 gcc libcli-dev procserv openssh-server openssh-client dropbear-bin socat ;;
  run)
    cmake -S "$root" -B "$build" -DRAVLO_BUILD_TESTS=ON >/dev/null
    cmake --build "$build" -j"$(nproc)"
    ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
    ;;
esac
