#!/usr/bin/env bash
# Windows build: cross-compiles ravlo.exe with mingw-w64 and runs the
# integration suite against it under Wine, in a fresh 32-bit prefix.
# usage: 30-windows.sh packages|run
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${RAVLO_BUILD_DIR:-$root/build}-win
# What ravlo.exe may import: the system's own DLLs, no compiler runtime.
system_dlls="kernel32.dll msvcrt.dll winmm.dll ws2_32.dll"

case "${1:-run}" in
  packages) echo cmake make g++-mingw-w64-i686-win32 wine wine32:i386 python3 util-linux ;;
  run)
    for tool in i686-w64-mingw32-g++ i686-w64-mingw32-objdump wine wineboot wineserver unshare; do
      command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
    done
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DRAVLO_TEST_LAUNCHER=wine -DRAVLO_TEST_FLAVOUR=windows >/dev/null
    cmake --build "$build" -j2

    for dll in $(i686-w64-mingw32-objdump -p "$build/ravlo.exe" | awk '/DLL Name:/ {print tolower($3)}'); do
      case " $system_dlls " in
        *" $dll "*) ;;
        *) echo "ravlo.exe needs $dll, which Windows does not have"; exit 1 ;;
      esac
    done

    export WINEARCH=win32 WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
    # No Mono or Gecko: nothing here uses them, and their installers would prompt.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    netns=(unshare -n)
    [ "$(id -u)" -eq 0 ] || netns=(unshare -rn)
    "${netns[@]}" true 2>/dev/null || { echo "SKIPPED: cannot create a private network namespace"; exit 77; }
    started=$SECONDS
    wineserver -k 2>/dev/null || true
    wineserver -w
    rm -rf "$WINEPREFIX"
    # Made in a network namespace of its own: the prefix's server makes every
    # socket, and one left running out here would reach the machine's port 23.
    "${netns[@]}" sh -c 'wineboot -i && wineserver -w'
    echo "wine prefix made in $((SECONDS - started))s"

    started=$SECONDS
    ctest --test-dir "$build" --output-on-failure -j2
    # Scenarios that cannot hold under Wine, each with its reason.
    grep -h '^SKIP ' "$build/Testing/Temporary/LastTest.log" || true
    echo "suite under wine ran in $((SECONDS - started))s"
    ;;
esac
