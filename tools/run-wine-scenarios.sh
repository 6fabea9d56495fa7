#!/usr/bin/env bash
# Runs every end-to-end scenario against the shipped Parvex.dll: the Windows
# build of vesk-host, under Wine, in ONE Wine process (each start costs tens of
# seconds), compared with the same expected transcripts as the Linux run (a
# site of sixteen components among them). The demos run in the same process
# and must pass their own expectations.
#
#   tools/run-wine-scenarios.sh BUILD_DIR
#
# The live scenarios (tests/live/*.vsc.in) join the same run, against the
# independent test router on 127.0.0.1. Then, once each (they need a router
# driven in step, a terminal or a browser): the SW-P-08 live scenarios, the
# prompt following vesk-router while a line is typed and statements through a
# pipe kept open following it (two Windows starts), and the web view in
# headless Chromium (a panel, then the wall of a site of named components).
#
# BUILD_DIR holds the win32 tree (Parvex.dll) and the mingw tree
# (host/vesk-host.exe). WINEPREFIX defaults to BUILD_DIR/wine-prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)

exe=$build/mingw/host/vesk-host.exe
dll=$build/win32/Parvex.dll
for f in "$exe" "$dll"; do
  [ -f "$f" ] || { echo "run-wine-scenarios: missing $f (build the win32 and mingw trees first)" >&2; exit 2; }
done

export WINEPREFIX=${WINEPREFIX:-$build/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export VESK_HOST_LAUNCHER=wine

# Relative script paths: Wine sees the working folder as a Z: path.
cd "$root"
start=$(date +%s)
# The live scenarios run in the same Wine process, against the independent
# test router on 127.0.0.1; it lives until this run ends.
live=$(mktemp -d "$root/.wine-live-XXXXXX")
# shellcheck source=../tests/live/live_server.sh
source tests/live/live_server.sh
start_live_server "$live" 3600
# One wineserver for every Windows start of the run (each start without one
# brings Wine's services up again: minutes under emulation); -k at exit.
trap 'stop_live_server; rm -rf "$live"; wineserver -k >/dev/null 2>&1 || true' EXIT
wineserver -p || true
live_scripts=()
for script in "${LIVE_SCRIPTS[@]}"; do live_scripts+=("${script#"$root"/}"); done
router=$build/native/router/server/vesk-router
set +e
bash tests/scenarios/check.sh "$exe" "$dll" tests/scenarios/*.vsc demo/demo.vsc demo/site_of_panels.vsc \
  "${live_scripts[@]}"
status=$?
python3 tests/live/run_swp08.py "$exe" "$dll" || status=1
echo "== an error once when standard output and error are one pipe"
bad=$(mktemp -d "$root/.wine-bad-XXXXXX")
printf 'say fine\nbogus\n' >"$bad/bad.vsc"
shown=$(cd "$bad" && wine "$exe" --module "$dll" bad.vsc 2>&1 | grep -c "unknown statement")
rm -rf "$bad"
[ "$shown" = 1 ] || { echo "run-wine-scenarios: the error shown $shown times on one pipe" >&2; status=1; }
echo "== the prompt following vesk-router while a line is typed, then a pipe kept open"
python3 host/tests/prompt_live_test.py "$exe" "$dll" "$router" wine || status=1
echo "== the web view in headless Chromium: one panel, then the wall of a site"
for test in panel_test wall_test; do
    node tests/web/$test.js "$exe" "$dll" "$router" "$build/wine-web"
    web=$?
    [ $web -eq 0 ] || [ $web -eq 77 ] || status=1
done
set -e
echo "run-wine-scenarios: $(( $(date +%s) - start )) s"
exit $status
