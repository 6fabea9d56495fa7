#!/usr/bin/env bash
# Plays the live scenarios (tests/live/*.vsc.in) through vesk-host against the
# independent test router; each must pass its own expectations.
#
#   run.sh VESK_HOST MODULE
#
# VESK_HOST is the vesk-host program, MODULE the component it loads.
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: run.sh VESK_HOST MODULE" >&2; exit 2; }
vesk_host=$1
module=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
# shellcheck source=live_server.sh
source "$root/tests/live/live_server.sh"
start_live_server "$work" 120 || exit 1
trap 'stop_live_server; rm -rf "$work"' EXIT
bash "$root/tests/scenarios/check.sh" "$vesk_host" "$module" "${LIVE_SCRIPTS[@]}"
