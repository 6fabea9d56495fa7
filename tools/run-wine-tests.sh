#!/usr/bin/env bash
# Runs the Windows-side tests: Parvex.dll loaded under Wine by MinGW-built
# programs. Usage: run-wine-tests.sh BUILD_DIR
#
# BUILD_DIR holds the build trees: BUILD_DIR/win32 (Parvex.dll,
# mimic.vesk_ui) and BUILD_DIR/mingw (tests/wine/msvc_host.exe). Steps:
#   1. tools/check-dll.sh on the DLL (no Wine needed);
#   2. the Wine prefix, created once if missing (WINEPREFIX, default
#      BUILD_DIR/wine-prefix);
#   3. one persistent wineserver for the whole run, stopped at the end also
#      when a step fails;
#   4. the programs, run from a scratch folder BUILD_DIR/wine-run holding the
#      DLL, its panel file and the programs.
# Every Wine process start is slow (tens of seconds where 32-bit programs run
# under emulation), so all DLL checks live in one program run once.
# Exits non-zero when any check fails.
set -euo pipefail

if [ $# -gt 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build=${1:-build}
if [ ! -d "$build" ]; then
  echo "run-wine-tests: no build folder $build" >&2
  exit 2
fi
build=$(cd "$build" && pwd)
tools=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

dll=$build/win32/Parvex.dll
panel=$build/win32/mimic.vesk_ui
msvc_host=$build/mingw/tests/wine/msvc_host.exe
run_dir=$build/wine-run

export WINEPREFIX=${WINEPREFIX:-$build/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

failures=0
started=$SECONDS

echo "== check-dll: $dll"
bash "$tools/check-dll.sh" "$dll" || failures=$((failures + 1))

for needed in "$dll" "$panel" "$msvc_host"; do
  if [ ! -f "$needed" ]; then
    echo "run-wine-tests: missing $needed (build the win32 and mingw trees first)" >&2
    exit 1
  fi
done

stop_wineserver() { wineserver -k >/dev/null 2>&1 || true; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== creating the Wine prefix $WINEPREFIX (once; takes minutes under emulation)"
  mkdir -p "$(dirname "$WINEPREFIX")"
  trap stop_wineserver EXIT
  trap 'exit 130' INT TERM
  if ! wineboot -i >"$build/wineboot.log" 2>&1; then
    echo "run-wine-tests: wineboot failed, see $build/wineboot.log" >&2
    exit 1
  fi
  # Wine's desktop and device processes may outlive wineboot under
  # emulation, and then the wait never ends: bounded, then they are stopped
  # (the prefix is written by then).
  timeout 120 wineserver -w || wineserver -k || true
fi

# One server for every program of the run; -k at exit, whatever happens.
trap stop_wineserver EXIT
trap 'exit 130' INT TERM
wineserver -p || true

rm -rf "$run_dir"
mkdir -p "$run_dir"
cp "$dll" "$panel" "$run_dir/"

# run_windows_program EXE [ARGS...]: copies EXE into the run folder, runs it
# there under Wine and checks that it ended with 0 and a closing line
# "N passed, 0 failed". Its output is shown and kept in the run folder.
run_windows_program() {
  local exe=$1
  shift
  local name
  name=$(basename "$exe")
  cp "$exe" "$run_dir/"
  echo "== wine $name $*"
  local status=0
  local begun=$SECONDS
  (cd "$run_dir" && timeout 1800 wine "$name" "$@") 2>"$run_dir/${name%.exe}.stderr" \
    | tee "$run_dir/${name%.exe}.log" || status=$?
  echo "   ($name: $((SECONDS - begun)) s, exit status $status)"
  local closing
  closing=$(tr -d '\r' <"$run_dir/${name%.exe}.log" | grep -E '^[0-9]+ passed, [0-9]+ failed$' | tail -n 1 || true)
  if [ "$status" -ne 0 ] || [ -z "$closing" ] || [ "${closing#*, }" != "0 failed" ]; then
    echo "run-wine-tests: $name failed (exit status $status, closing line '${closing:-none}')" >&2
    if [ -s "$run_dir/${name%.exe}.stderr" ]; then
      echo "   its stderr:" >&2
      tail -n 20 "$run_dir/${name%.exe}.stderr" >&2
    fi
    failures=$((failures + 1))
  fi
}

run_windows_program "$msvc_host"

# The scenario suite through the Windows host emulator runs next, from
# tools/run-wine-scenarios.sh, in a Wine process of its own (see the Makefile).

echo "== wine tests: $((SECONDS - started)) s"
if [ "$failures" -ne 0 ]; then
  echo "wine tests FAILED ($failures step(s))"
  exit 1
fi
echo "wine tests passed"
