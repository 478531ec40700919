#!/usr/bin/env bash
# Installs the Debian packages that the named test stages need, when missing
# (all stages when none is named). Without root it only names what is missing.
# Never stops the run: an archive index that will not update (one mid-sync)
# is tried again, then the lists at hand serve; a package that cannot be had
# is named in one line, and costs only the stages that need it, which then
# fail by name (or, the Windows stage, take their other path).
# usage: install-deps.sh [STAGE...]   e.g. install-deps.sh 10-native
#        install-deps.sh --packages PACKAGE...
set -uo pipefail
stages_dir=$(cd "$(dirname "$0")/stages" && pwd)
tries=${RAVLO_APT_TRIES:-3} pause=${RAVLO_APT_PAUSE:-10}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'; }
declare -A needed_by=()
wanted=()
want() {  # PACKAGE WHO
  installed "$1" && return
  [ -n "${needed_by[$1]:-}" ] || wanted+=("$1")
  needed_by[$1]+="${needed_by[$1]:+,}$2"
}
if [ "${1:-}" = --packages ]; then
  shift
  for package; do want "$package" requested; done
else
  [ $# -gt 0 ] || set -- $(cd "$stages_dir" && ls *.sh | sed 's/\.sh$//')
  for stage; do
    for package in $("$stages_dir/$stage.sh" packages); do want "$package" "$stage"; done
  done
fi
[ ${#wanted[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps.sh: missing packages (install them as root): ${wanted[*]}" >&2
  exit 0
fi
echo "install-deps.sh: installing ${wanted[*]}"
export DEBIAN_FRONTEND=noninteractive
# A package of another architecture (wine32:i386) needs that architecture first.
for arch in $(printf '%s\n' "${wanted[@]}" | sed -n 's/.*:\([a-z0-9]*\)$/\1/p' | sort -u); do
  [ "$arch" = "$(dpkg --print-architecture)" ] || dpkg --add-architecture "$arch"
done
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for try in $(seq "$tries"); do
  apt-get update -qq >"$log" 2>&1 && break
  if [ "$try" -eq "$tries" ]; then
    echo "install-deps.sh: apt-get update failed $tries times, the lists at hand serve: $(grep '^E:' "$log" | head -n 1)"
    break
  fi
  sleep "$pause"
done
install() { apt-get install -y -qq --no-install-recommends "$@" >/dev/null 2>&1; }
# All at once is quickest; when that fails, one at a time, so that one
# package that cannot be had does not hold back the rest.
if ! install "${wanted[@]}"; then
  lost=()
  for package in "${wanted[@]}"; do
    install "$package" || lost+=("$package (${needed_by[$package]})")
  done
  [ ${#lost[@]} -eq 0 ] || echo "install-deps.sh: could not install: ${lost[*]}"
fi
exit 0
