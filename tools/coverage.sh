#!/usr/bin/env bash
# Line and branch coverage of the module's code (contracts/, platform/,
# script_helper/, panels/) by the native test suite. Configures BUILD_DIR with
# the coverage preset when it is not configured yet, builds it, runs ctest
# from zeroed counters and writes:
#   BUILD_DIR/coverage/summary.txt   per-file lines and branches, with the
#                                    lines not covered
#   BUILD_DIR/coverage/index.html    the same, browsable
# Fails when the tests fail. Needs gcovr (Debian package gcovr).
#
# Usage: coverage.sh BUILD_DIR
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
if ! command -v gcovr >/dev/null; then
  echo "coverage: gcovr is missing (apt-get install gcovr)" >&2
  exit 1
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  (cd "$root" && cmake --preset coverage -B "$build" >/dev/null)
fi
if ! grep -q '^VESK_COVERAGE:BOOL=ON' "$build/CMakeCache.txt"; then
  echo "coverage: $build is not configured with -DVESK_COVERAGE=ON" >&2
  exit 2
fi
build=$(cd "$build" && pwd)

cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
find "$build" -name '*.gcda' -delete
(cd "$build" && ctest --output-on-failure -j "$(nproc 2>/dev/null || echo 2)")

out=$build/coverage
mkdir -p "$out"
filters=(--filter "$root/contracts/" --filter "$root/platform/" --filter "$root/script_helper/"
         --filter "$root/panels/")
# The Windows layer is not built here; leave it out rather than count it as 0.
excludes=(--exclude "$root/platform/vesk_platform_win32.cpp" --exclude "$root/platform/win32/")
common=(--root "$root" "${filters[@]}" "${excludes[@]}" --exclude-unreachable-branches
        --exclude-throw-branches --object-directory "$build" "$build")

gcovr "${common[@]}" --txt "$out/summary.txt" --html-details "$out/index.html" --print-summary \
  | tee "$out/totals.txt"
gcovr "${common[@]}" --branches --txt "$out/branches.txt" >/dev/null
cat "$out/summary.txt"
echo "coverage: report in $out/index.html"
