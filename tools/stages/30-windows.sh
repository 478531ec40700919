#!/usr/bin/env bash
# Windows build: cross-compiles ravlo.exe, the shipped 32-bit program, and the
# same sources for x86-64, then runs the integration suite under Wine: against
# the 32-bit build where 32-bit Wine runs, else against the x86-64 build under
# 64-bit Wine, saying why in its first line. RAVLO_WINE64=1 takes the 64-bit
# path on any machine. The
# real-server rows (integration.busybox, .frr, ...) run there too: the servers
# stay Linux programs, only the client is the .exe.
# usage: 30-windows.sh packages|run
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build32=${RAVLO_BUILD_DIR:-$root/build}-win
build64=${RAVLO_BUILD_DIR:-$root/build}-win64
# What ravlo.exe may import: the system's own DLLs, no compiler runtime.
system_dlls="kernel32.dll msvcrt.dll winmm.dll ws2_32.dll"
# Debian keeps the 64-bit loader off PATH.
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
# Longest wait for Wine to make a prefix: a safety net, far above the usual.
prefix_timeout=600

# cross_build DIR TRIPLE TOOLCHAIN LAUNCHER: builds ravlo.exe and checks its imports.
cross_build() {
  cmake -S "$root" -B "$1" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$3" \
    -DRAVLO_TEST_LAUNCHER="$4" -DRAVLO_TEST_FLAVOUR=windows >/dev/null
  cmake --build "$1" -j2
  for dll in $("$2-objdump" -p "$1/ravlo.exe" | awk '/DLL Name:/ {print tolower($3)}'); do
    case " $system_dlls " in
      *" $dll "*) ;;
      *) echo "$1/ravlo.exe needs $dll, which Windows does not have"; exit 1 ;;
    esac
  done
}

# try_wine ARCH LOADER: makes a fresh prefix of ARCH in WINEPREFIX and runs
# cmd.exe in it; its COM1 is WINEPREFIX/com1, where the serial rows put a
# pseudo-terminal. Sets $made, or on failure $why and returns 1.
try_wine() {
  export WINEARCH=$1
  command -v "$2" >/dev/null || { why="$2 is not installed"; return 1; }
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  local log=$WINEPREFIX.log status=0 started=$SECONDS
  # In a network namespace of its own: the prefix's server makes every
  # socket, and one left running out here would reach the machine's port 23.
  timeout -k 10 "$prefix_timeout" "${netns[@]}" \
    sh -c '"$1" wineboot -i && "$1" cmd /c exit &&
      "$1" reg add "HKLM\\Software\\Wine\\Ports" /v COM1 /t REG_SZ /d "$WINEPREFIX/com1" /f && wineserver -w' \
    sh "$2" </dev/null >"$log" 2>&1 || status=$?
  wineserver -k 2>/dev/null || true
  case $status in
    0) made="$1 prefix made, cmd.exe ran in it, in $((SECONDS - started))s"; return 0 ;;
    124|137) why="it did not make its prefix within ${prefix_timeout}s" ;;
    *) why="$2 ended with status $status: $(grep -v '^\s*$' "$log" | tail -n 1)" ;;
  esac
  return 1
}

case "${1:-run}" in
  packages)
    echo cmake make g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 \
      wine wine32:i386 wine64 python3 util-linux inetutils-telnetd busybox-static frr ser2net iproute2 socat ;;
  run)
    # Its own tools missing fail the stage by name; a machine where no Wine
    # runs, or no private network namespace can be made, is the only skip.
    for tool in i686-w64-mingw32-g++ i686-w64-mingw32-objdump x86_64-w64-mingw32-g++ \
        x86_64-w64-mingw32-objdump wineserver "$wine64" unshare timeout; do
      command -v "$tool" >/dev/null || { echo "windows: FAILED: $tool is not installed"; exit 1; }
    done
    export WINEDEBUG=-all
    # No Mono or Gecko: nothing here uses them, and their installers would prompt.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    netns=(unshare -n)
    [ "$(id -u)" -eq 0 ] || netns=(unshare -rn)
    "${netns[@]}" true 2>/dev/null || { echo "SKIPPED: cannot create a private network namespace"; exit 77; }

    # Which Wine runs here is found by running it; the path taken is the first line.
    mkdir -p "$build32" "$build64"
    why=""
    if [ "${RAVLO_WINE64:-0}" != 0 ]; then
      why32="RAVLO_WINE64=$RAVLO_WINE64 asks for it"
    elif ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'ok installed'; then
      why32="32-bit Wine (wine32:i386) is not installed"
    elif WINEPREFIX="$build32/wineprefix" try_wine win32 wine; then
      why32=""
    else
      why32="32-bit Wine cannot run here: $why"
    fi
    if [ -z "$why32" ]; then
      echo "windows: 32-bit path, because 32-bit Wine runs here"
      export WINEPREFIX="$build32/wineprefix"
      build=$build32 path="32-bit ravlo.exe under 32-bit Wine"
    else
      export WINEPREFIX="$build64/wineprefix"
      if ! try_wine win64 "$wine64"; then
        [ "${RAVLO_WINE64:-0}" = 0 ] || { echo "windows: FAILED: 64-bit Wine cannot run here: $why"; exit 1; }
        echo "SKIPPED: neither 32-bit nor 64-bit Wine runs here ($why32; 64-bit: $why)"
        exit 77
      fi
      echo "windows: 64-bit path, because $why32"
      build=$build64 path="x86-64 ravlo.exe under 64-bit Wine"
    fi
    echo "windows: $made"

    # Both builds always: the 32-bit one ships, the x86-64 one must build too.
    cross_build "$build32" i686-w64-mingw32 mingw-i686.cmake wine
    cross_build "$build64" x86_64-w64-mingw32 mingw-x86_64.cmake "$wine64"

    started=$SECONDS
    # Every real server, and one through the cutting links: what the links
    # test is ravlo's own chunk logic, the same source natively; busybox's
    # rows show the .exe's reads and timers keep to it.
    ctest --test-dir "$build" --output-on-failure -j2 -E '^integration\.(inetutils|frr|ser2net|device|procserv)\.cut$'
    # Scenarios that cannot hold under Wine, each with its reason.
    grep -h '^SKIP ' "$build/Testing/Temporary/LastTest.log" || true
    echo "windows: suite ran against the $path in $((SECONDS - started))s"
    ;;
esac
