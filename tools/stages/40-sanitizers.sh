#!/usr/bin/env bash
# Sanitized builds: the unit tests and every fake-host integration row (these
# running the sanitized ravlo) under ASan + UBSan, with the real servers whose
# text takes the paths that fake hosts cannot show all of (busybox's pagers
# and long output, the device's questions and keys, the SSH servers' logins
# and refusals through a program's pseudo-terminal); the other real servers
# and the cutting links run natively and under Wine, and the fuzzers cut text
# anywhere under ASan. Then the timer and session tests under TSan, where the
# timer thread meets the session loop (hostile hosts restart the timer on
# every one of thousands of chunks).
# usage: 40-sanitizers.sh packages|run
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${RAVLO_BUILD_DIR:-$root/build}
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

# Any report fails the test that caused it: the run stops with an error status
# and the report lands on standard error, which the integration suite checks.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

sanitized() {  # preset, then ctest arguments
  local preset=$1 dir=$build-$1
  shift
  echo "-- $preset"
  cmake --preset "$preset" -S "$root" -B "$dir" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" "$@"
}

case "${1:-run}" in
  packages) echo cmake make g++ libgtest-dev libgmock-dev python3 util-linux socat ;;
  run)
    sanitized asan-ubsan -E '^integration\.((inetutils|frr|ser2net|procserv)(\.cut)?|(busybox|device|ssh)\.cut)$'
    sanitized tsan -R '^(EventTimer|OnResponseTimer|TimerService)\.|^integration\.(timer|session|hostile|options)$'
    ;;
esac
