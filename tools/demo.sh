#!/usr/bin/env bash
# Builds ravlo if needed and runs a whole session against the bundled demo host.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RAVLO_BUILD_DIR:-$root/build}
if [ ! -x "$build/ravlo" ]; then
  # The demo host is a Python script in a private network namespace (unshare).
  "$root/tools/install-deps.sh" --packages cmake make g++ python3 util-linux
  cmake -S "$root" -B "$build" >/dev/null
  cmake --build "$build" --target ravlo -j"$(nproc)" >/dev/null
fi
exec python3 "$root/tools/demo_host.py" "$build/ravlo" "$root/examples/demo.cmd"
