#!/usr/bin/env bash
# Builds the test-side encryptor (encrypt_workbook) in BUILD_DIR, a headless configuration
# without benchmarks, and prints the path of the program.
# Usage: build_encryptor.sh BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$1"
cmake -S "$root" -B "$build" -DGRIDWELL_BENCH=OFF -DGRIDWELL_GUI=OFF >/dev/null
cmake --build "$build" --target encrypt_workbook -j2 >/dev/null
find "$build" -type f -name encrypt_workbook -perm -u+x | head -n 1
