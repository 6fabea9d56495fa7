#!/usr/bin/env bash
# Runs the scenario suite (the ctest tests labelled "scenario") of a native,
# unsanitized build tree with the host emulator, and so the Linux module it
# loads, under valgrind's memcheck: any memory error or definite/indirect leak
# makes the emulator exit non-zero, which fails the scenario. The scenario
# runner starts the emulator through VESK_HOST_LAUNCHER.
#
# Usage: valgrind-scenarios.sh BUILD_DIR   (e.g. build/native, already built)
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build=$1
if grep -q '^VESK_SANITIZE:STRING=.\+' "$build/CMakeCache.txt" 2>/dev/null; then
  echo "valgrind: $build is a sanitizer build; use an unsanitized tree" >&2
  exit 2
fi

cd "$build"
count=$(ctest -N -L scenario | sed -n 's/^Total Tests: *//p')
if [ "${count:-0}" -eq 0 ]; then
  echo "valgrind: no test labelled 'scenario' in $build" >&2
  exit 1
fi

logs=$(mktemp -d "${TMPDIR:-/tmp}/vesk-valgrind-XXXXXX")
trap 'rm -rf "$logs"' EXIT
export VESK_HOST_LAUNCHER="valgrind --quiet --error-exitcode=1 --leak-check=full
  --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect --log-file=$logs/valgrind.%p.log"
status=0
ctest -L scenario --output-on-failure || status=$?

# With --quiet a log holds only what valgrind found.
for log in "$logs"/valgrind.*.log; do
  if [ -s "$log" ]; then
    echo "valgrind: $(basename "$log"):"
    cat "$log"
    status=1
  fi
done
if [ "$status" -eq 0 ]; then echo "valgrind: all $count scenario tests clean"; fi
exit "$status"
