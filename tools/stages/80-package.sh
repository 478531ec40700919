#!/usr/bin/env bash
# Packages: builds the Debian package, installs it into a scratch root with a
# dpkg database of its own, and checks the installed program, manual page and
# removal; builds and checks the Windows zip when the cross toolchain is there.
# usage: 80-package.sh packages|run
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${RAVLO_BUILD_DIR:-$root/build}-package
win_build=${RAVLO_BUILD_DIR:-$root/build}-package-win32
toolchain=$root/cmake/mingw-i686.cmake
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "80-package: $*" >&2; exit 1; }

# Runs a command quietly, showing its output only when it fails.
quiet() {
  local status=0
  "$@" >"$scratch/quiet.log" 2>&1 || status=$?
  [ "$status" -eq 0 ] || { cat "$scratch/quiet.log" >&2; fail "failed ($status): $*"; }
}

# A dpkg database that knows only the packages ours depends on, as the system
# has them: the install then proves that the Depends line can be met.
fake_dependencies() {
  local deb=$1 admin=$2 arch name
  arch=$(dpkg --print-architecture)
  mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
  : >"$admin/status"
  for name in $(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed 's/(.*//; s/:.*//' | xargs -n1); do
    dpkg-query -W -f='Package: ${Package}\nStatus: install ok installed\nMaintainer: ${Maintainer}\nVersion: ${Version}\nArchitecture: ${Architecture}\nDescription: ${binary:Summary}\n\n' \
      "$name:$arch" >>"$admin/status" || fail "dependency $name is not installed here"
    : >"$admin/info/$name.list"
  done
}

check_deb() {
  local version=$1 deb=$build/ravlo_${version}_$(dpkg --print-architecture).deb
  [ -f "$deb" ] || fail "no $deb"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
  local dest=$scratch/root admin=$scratch/root/var/lib/dpkg
  fake_dependencies "$deb" "$admin"
  local dpkg=(dpkg --root="$dest" --admindir="$admin" --log="$scratch/dpkg.log" --force-not-root
              --path-include='/usr/share/*')
  "${dpkg[@]}" -i "$deb" >"$scratch/install.log" 2>&1 || { cat "$scratch/install.log"; fail "install failed"; }

  local status=0 out
  out=$(LC_ALL=C.UTF-8 "$dest/usr/bin/ravlo") || status=$?
  [ "$status" -eq 255 ] || fail "installed ravlo without arguments exited $status, not 255"
  [ "$(printf '%s\n' "$out" | sed -n 2p)" = "ravlo ver.$version" ] || fail "usage text does not say ver.$version: $out"
  [ "$(printf '%s\n' "$out" | tail -n1)" = "$(printf -- '-%.0s' {1..71})>" ] || fail "usage text is cut short: $out"

  local page=$dest/usr/share/man/man1/ravlo.1.gz warnings
  [ -f "$page" ] || fail "manual page not installed"
  warnings=$(for device in utf8 ascii; do zcat "$page" | groff -man -T$device -ww -z; done 2>&1)
  [ -z "$warnings" ] || fail "manual page warnings: $warnings"
  out=$(MANWIDTH=80 MANPAGER=cat man -M "$dest/usr/share/man" ravlo 2>&1) || fail "man cannot find the page: $out"
  printf '%s\n' "$out" | tail -n1 | grep -q "ravlo $version" || fail "manual page footer lacks ravlo $version"

  "${dpkg[@]}" -r ravlo >"$scratch/remove.log" 2>&1 || { cat "$scratch/remove.log"; fail "removal failed"; }
  [ -z "$(find "$dest" -path "$admin" -prune -o -type f -print)" ] || fail "removal left files behind"
  echo "80-package: $(basename "$deb") installs, runs, has its manual page and removes cleanly"
}

check_zip() {
  local version=$1 zip=$win_build/ravlo-$version-win32.zip
  [ -f "$zip" ] || fail "no $zip"
  python3 - "$zip" "ravlo-$version-win32" <<'PY' || fail "zip check failed"
import sys, zipfile
path, top = sys.argv[1], sys.argv[2]
z = zipfile.ZipFile(path)
files = sorted(n for n in z.namelist() if not n.endswith("/"))
assert files == [top + "/README.txt", top + "/ravlo.exe"], files
exe = z.read(top + "/ravlo.exe")
pe = int.from_bytes(exe[0x3C:0x40], "little")
assert exe[:2] == b"MZ" and exe[pe:pe + 6] == b"PE\0\0\x4c\x01", "ravlo.exe is no 32-bit x86 program"
readme = z.read(top + "/README.txt")
assert readme.startswith(b"\xef\xbb\xbf"), "README.txt lacks its UTF-8 mark"
assert readme.count(b"\n") == readme.count(b"\r\n") > 0, "README.txt has bare LF line ends"
readme.decode("utf-8")
PY
  # Linked statically: nothing but Windows' own DLLs may be needed.
  local dlls
  (cd "$scratch" && python3 -m zipfile -e "$zip" zip)
  dlls=$(i686-w64-mingw32-objdump -p "$scratch/zip/ravlo-$version-win32/ravlo.exe" | awk '/DLL Name/ {print $3}')
  if printf '%s\n' "$dlls" | grep -qi '^lib'; then fail "ravlo.exe needs DLLs that Windows lacks: $dlls"; fi
  echo "80-package: $(basename "$zip") holds ravlo.exe (needs only: $(echo $dlls)) and README.txt"
}

case "${1:-run}" in
  packages)
    echo cmake make g++ dpkg-dev man-db python3
    if [ -f "$toolchain" ]; then echo g++-mingw-w64-i686-win32 binutils-mingw-w64-i686; fi
    ;;
  run)
    quiet cmake -S "$root" -B "$build" -DRAVLO_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
    quiet cmake --build "$build" -j2
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    quiet cpack -G DEB -B "$build" --config "$build/CPackConfig.cmake"
    check_deb "$version"
    if [ -f "$toolchain" ]; then
      quiet cmake -S "$root" -B "$win_build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DRAVLO_BUILD_TESTS=OFF \
        -DCMAKE_BUILD_TYPE=Release
      quiet cmake --build "$win_build" -j2
      quiet cpack -G ZIP -B "$win_build" --config "$win_build/CPackConfig.cmake"
      check_zip "$version"
    else
      echo "80-package: Windows zip skipped: no cross toolchain file cmake/mingw-i686.cmake"
    fi
    ;;
esac
