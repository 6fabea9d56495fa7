#!/usr/bin/env bash
# Runs the Windows-side tests: Parvex.dll loaded under Wine by MinGW-built
# programs. Usage: run-wine-tests.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
echo "wine tests: none yet"
