#!/usr/bin/env bash
# Installs the Debian packages that the named test stages need, when missing
# (all stages when none is named). Without root it only names what is missing.
# usage: install-deps.sh [STAGE...]   e.g. install-deps.sh 10-native
set -euo pipefail
stages_dir=$(cd "$(dirname "$0")/stages" && pwd)

if [ $# -eq 0 ]; then
  set -- $(cd "$stages_dir" && ls *.sh | sed 's/\.sh$//')
fi
wanted=()
for stage in "$@"; do
  for package in $("$stages_dir/$stage.sh" packages); do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || wanted+=("$package")
  done
done
[ ${#wanted[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps.sh: missing packages (install them as root): ${wanted[*]}" >&2
  exit 0
fi
echo "install-deps.sh: installing ${wanted[*]}"
export DEBIAN_FRONTEND=noninteractive
# A package of another architecture (wine32:i386) needs that architecture first.
# Adding one twice is harmless.
for arch in $(printf '%s\n' "${wanted[@]}" | sed -n 's/.*:\([a-z0-9]*\)$/\1/p' | sort -u); do
  [ "$arch" = "$(dpkg --print-architecture)" ] || dpkg --add-architecture "$arch"
done
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${wanted[@]}" >/dev/null
