#!/usr/bin/env bash
# Builds ravlo from scratch and runs every test stage in tools/stages/, in order:
# the native build with its unit and integration tests first, then the rest.
# Installs the Debian packages the stages need when run as root.
# usage: test.sh [STAGE...]   e.g. test.sh 10-native
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
stages_dir="$root/tools/stages"
if [ $# -eq 0 ]; then
  set -- $(cd "$stages_dir" && ls *.sh | sed 's/\.sh$//')
fi

"$root/tools/install-deps.sh" "$@"

passed=0 failed=0 skipped=0 failures=() times=()
for stage in "$@"; do
  echo "== stage $stage"
  status=0 started=$SECONDS
  "$stages_dir/$stage.sh" run || status=$?
  case $status in
    0) passed=$((passed + 1)); verdict=passed ;;
    77) skipped=$((skipped + 1)); verdict=skipped ;;
    *) failed=$((failed + 1)); failures+=("$stage"); verdict="FAILED ($status)" ;;
  esac
  times+=("$(printf '%-15s %4ds  %s' "$stage" $((SECONDS - started)) "$verdict")")
  [ "$verdict" = passed ] || echo "== stage $stage $verdict"
done
# Where the time went, to keep the whole run short.
printf '== %s\n' "${times[@]}"
[ $failed -eq 0 ] || echo "failed stages: ${failures[*]}"
echo "stages: $passed passed, $failed failed, $skipped skipped"
[ $failed -eq 0 ]
