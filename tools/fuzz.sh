#!/usr/bin/env bash
# Runs every libFuzzer target for SECONDS each, starting from its seeds in
# fuzz/corpus/<target>/. Fails when any target finds a crash, a leak, a timeout
# or a failed check. Inputs found while fuzzing go to a scratch folder, never
# into the repository; crash inputs are kept in BUILD_DIR/fuzz-artifacts/.
#
# Usage: fuzz.sh SECONDS BUILD_DIR   (BUILD_DIR configured with the fuzz preset)
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 SECONDS BUILD_DIR" >&2
  exit 2
fi
seconds=$1
build=$(cd "$2" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
targets=(parsed_command_fuzzer text_event_fuzzer router_report_fuzzer profile_reader_fuzzer videohub_parser_fuzzer swp08_fuzzer)

cmake --build "$build" --target fuzzers -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vesk-fuzz-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"

failed=()
for target in "${targets[@]}"; do
  exe=$build/fuzz/$target
  if [ ! -x "$exe" ]; then
    echo "fuzz: $exe is missing (configure BUILD_DIR with the fuzz preset: clang)" >&2
    exit 1
  fi
  corpus=$scratch/$target
  mkdir -p "$corpus"
  cp "$root/fuzz/corpus/$target/"* "$corpus/"
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$artifacts/$target-")
  if [ -f "$root/fuzz/$target.dict" ]; then args+=(-dict="$root/fuzz/$target.dict"); fi
  log=$scratch/$target.log
  if "$exe" "${args[@]}" "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
    echo "fuzz: $target passed: ${runs:-?} inputs in ${seconds}s, ${cov:-cov: ?}, corpus $(ls "$corpus" | wc -l)"
  else
    echo "fuzz: $target FAILED; the end of its log:"
    tail -n 60 "$log"
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failed: ${failed[*]} (inputs in $artifacts)"
  exit 1
fi
echo "fuzz: all ${#targets[@]} targets passed"
