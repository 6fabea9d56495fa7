#!/usr/bin/env bash
# Runs every test executable of a native, unsanitized build tree (the unit
# tests' *_test, the emulator's and the router's *_tests) under valgrind's
# memcheck: any memory error or definite/indirect leak fails.
#
# Usage: valgrind-tests.sh BUILD_DIR   (e.g. build/native, already built)
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

# The unit tests, and the emulator's and the router's test programs.
mapfile -t tests < <({ find "$build/tests" -maxdepth 2 -type f -name '*_test' -perm -u+x
                       find "$build/host" "$build/router" -maxdepth 1 -type f -name '*_tests' -perm -u+x; } | sort)
if [ ${#tests[@]} -eq 0 ]; then
  echo "valgrind: no *_test executables under $build/tests" >&2
  exit 1
fi

logs=$(mktemp -d "${TMPDIR:-/tmp}/vesk-valgrind-XXXXXX")
trap 'rm -rf "$logs"' EXIT
failed=()
for test in "${tests[@]}"; do
  name=$(basename "$test")
  # Death tests fork; the threadsafe style re-runs the binary, which valgrind
  # follows as it should.
  if valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
       --show-leak-kinds=definite,indirect --track-origins=yes \
       "$test" --gtest_brief=1 >"$logs/$name.log" 2>&1; then
    echo "valgrind: $name clean"
  else
    echo "valgrind: $name FAILED; the end of its log:"
    tail -n 60 "$logs/$name.log"
    failed+=("$name")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "valgrind: failed: ${failed[*]}"
  exit 1
fi
echo "valgrind: all ${#tests[@]} test executables clean"
