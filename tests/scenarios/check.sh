#!/usr/bin/env bash
# Runs scenario scripts through vesk-host in ONE process and compares each
# script's transcript with NAME.expected beside it.
#
#   check.sh HOST MODULE SCENARIO.vsc...
#
# HOST is the vesk-host program; set VESK_HOST_LAUNCHER (e.g. "wine") to run
# it through a launcher. The scripts run from the folder of the first one and
# are named relative to it, as transcripts name a script as it was given. A
# script's transcript is its part of the output, from "== NAME.vsc" to
# "-- NAME.vsc: ...". Line ends are normalised to "\n". A
# script without NAME.expected (the demo) must pass its own expectations.
# Exit status: 0 when every transcript matches, 1 otherwise.
set -uo pipefail

if [ $# -lt 3 ]; then
  echo "usage: check.sh HOST MODULE SCENARIO.vsc..." >&2
  exit 2
fi
absolute() { case "$1" in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
host=$(absolute "$1")
module=$(absolute "$2")
shift 2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

names=()
for scenario in "$@"; do names+=("$(realpath --relative-to="$(dirname "$1")" "$scenario")"); done
cd "$(dirname "$1")" || exit 1

# shellcheck disable=SC2086
${VESK_HOST_LAUNCHER:-} "$host" --module "$module" "${names[@]}" >"$work/all.raw" 2>"$work/stderr"
status=$?
tr -d '\r' <"$work/all.raw" >"$work/all"

failed=0
for name in "${names[@]}"; do
  expected="${name%.vsc}.expected"
  awk -v name="$name" '
    $0 == "== " name { inside = 1 }
    inside { print }
    inside && index($0, "-- " name ": ") == 1 { inside = 0 }
  ' "$work/all" >"$work/actual"
  if [ ! -s "$work/actual" ]; then
    echo "FAIL $name: no transcript (vesk-host exit status $status)"
    cat "$work/stderr" >&2
    failed=1
  elif [ ! -f "$expected" ]; then
    if tail -n 1 "$work/actual" | grep -qx -- "-- $name: passed"; then
      echo "ok   $name (own expectations)"
    else
      grep -E '^(FAIL|ERROR|!!) ' "$work/actual"
      tail -n 1 "$work/actual"
      failed=1
    fi
  elif ! diff -u --label "$(basename "$expected")" --label "$name (actual)" "$expected" "$work/actual"; then
    echo "FAIL $name: transcript differs"
    failed=1
  else
    echo "ok   $name"
  fi
done
if [ "$failed" = 0 ] && [ "$status" != 0 ]; then
  echo "FAIL: vesk-host exit status $status with matching transcripts" >&2
  failed=1
fi
exit $failed
