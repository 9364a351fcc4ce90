#!/usr/bin/env bash
# Converts the .xlsx fixtures (tests/data/xlsx/*.xlsx) to .xls (BIFF8) with Gnumeric's
# ssconvert, writing tests/data/xls/<name>.xls. The outputs are committed, so the test
# suite never needs Gnumeric; run this again when the .xlsx fixtures change.
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
src="$root/tests/data/xlsx"
dst="$root/tests/data/xls"

command -v ssconvert >/dev/null 2>&1 || "$root/scripts/install-deps" gnumeric

mkdir -p "$dst"
for f in "$src"/*.xlsx; do
  name="$(basename "$f" .xlsx)"
  ssconvert --export-type=Gnumeric_Excel:excel_biff8 "$f" "$dst/$name.xls" 2>/dev/null
  echo "converted $name.xlsx -> tests/data/xls/$name.xls"
done
