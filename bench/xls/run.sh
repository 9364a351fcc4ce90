#!/usr/bin/env bash
# Reads a generated 60,000-row by 10-column .xls with Gridwell's reader and with SheetJS
# (the npm package `xlsx`, installed under bench/node_modules on first use, never by the
# build), and prints the best of three times of each and their ratio.
# The workbook is written by libxlsxwriter (bench/xlsx/make_bench_xlsx) and converted to
# BIFF8 by Gnumeric's ssconvert, installed on demand, into bench/out/ (git-ignored).
#   bench/xls/run.sh [build-dir]        (default: ./build)
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
BOOK=$OUT/bench_60k.xls

cmake --build "$BUILD" --target make_bench_xlsx xls_read_bench -j2 >/dev/null
if [ ! -s "$BOOK" ]; then
  command -v ssconvert >/dev/null 2>&1 || "$ROOT/scripts/install-deps" gnumeric
  echo "writing $BOOK ..."
  "$BUILD/bench/xlsx/make_bench_xlsx" "$OUT/bench_60k.xlsx" 60000
  ssconvert --export-type=Gnumeric_Excel:excel_biff8 "$OUT/bench_60k.xlsx" "$BOOK" 2>/dev/null
fi
ls -l "$BOOK"

ensure_sheetjs

"$BUILD/bench/xls/xls_read_bench" "$BOOK" 3 | tee "$OUT/gridwell_xls.txt"
node --max-old-space-size=8192 "$ROOT/bench/sheetjs_read.js" "$BOOK" 3 --styles | tee "$OUT/sheetjs_xls.txt"

g=$(awk '/^gridwell_seconds/ {print $2}' "$OUT/gridwell_xls.txt")
s=$(awk '/^sheetjs_seconds/ {print $2}' "$OUT/sheetjs_xls.txt")
awk -v g="$g" -v s="$s" 'BEGIN {
  printf "\nread + visit (best of 3): gridwell %.3f s, SheetJS %.3f s, ratio %.1fx (target >= 10x)\n", g, s, s / g;
}'
