#!/usr/bin/env bash
# Reads a generated 1,000,000-cell workbook with Gridwell's reader and with SheetJS (the
# npm package `xlsx`, installed here under bench/node_modules on first use, never by the
# build), and prints the best of three times of each, their ratio and the peak memory.
#   bench/xlsx/run.sh [build-dir]        (default: ./build)
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
BOOK=$OUT/bench_1m.xlsx

cmake --build "$BUILD" --target make_bench_xlsx xlsx_read_bench -j2 >/dev/null
if [ ! -s "$BOOK" ]; then
  echo "writing $BOOK ..."
  "$BUILD/bench/xlsx/make_bench_xlsx" "$BOOK"
fi
ls -l "$BOOK"

ensure_sheetjs

peak_kb() { grep 'Maximum resident set size' "$1" | awk '{print $NF}'; }

# Best of three runs of each, as wall times on a shared machine wander.
best_run() {  # best_run NAME COMMAND...: keeps the output and time of the fastest run
  local name=$1; shift
  local best=""
  for i in 1 2 3; do
    /usr/bin/time -v "$@" >"$OUT/$name.run.txt" 2>"$OUT/$name.run.time"
    local secs
    secs=$(awk '/^(gridwell|sheetjs)_seconds / {print $2; exit}' "$OUT/$name.run.txt")
    if [ -z "$best" ] || awk -v a="$secs" -v b="$best" 'BEGIN {exit !(a < b)}'; then
      best=$secs
      mv "$OUT/$name.run.txt" "$OUT/$name.txt"
      mv "$OUT/$name.run.time" "$OUT/$name.time"
    fi
  done
}
best_run gridwell_xlsx "$BUILD/bench/xlsx/xlsx_read_bench" "$BOOK"
cat "$OUT/gridwell_xlsx.txt"
best_run sheetjs_xlsx node --max-old-space-size=8192 "$ROOT/bench/sheetjs_read.js" "$BOOK"
cat "$OUT/sheetjs_xlsx.txt"

g=$(awk '/^gridwell_seconds/ {print $2}' "$OUT/gridwell_xlsx.txt")
s=$(awk '/^sheetjs_seconds/ {print $2}' "$OUT/sheetjs_xlsx.txt")
gc=$(awk '/^gridwell_cpu_seconds/ {print $2}' "$OUT/gridwell_xlsx.txt")
sc=$(awk '/^sheetjs_cpu_seconds/ {print $2}' "$OUT/sheetjs_xlsx.txt")
xml=$(awk '/^sheet_xml_bytes/ {print $2}' "$OUT/gridwell_xlsx.txt")
gk=$(peak_kb "$OUT/gridwell_xlsx.time")
sk=$(peak_kb "$OUT/sheetjs_xlsx.time")
awk -v g="$g" -v s="$s" -v gc="$gc" -v sc="$sc" -v gk="$gk" -v sk="$sk" -v xml="$xml" 'BEGIN {
  printf "\nread + visit, wall:      gridwell %.3f s, SheetJS %.3f s, ratio %.1fx (target >= 10x)\n", g, s, s / g;
  printf "read + visit, processor: gridwell %.3f s, SheetJS %.3f s, ratio %.1fx\n", gc, sc, sc / gc;
  printf "peak memory:  gridwell %.1f MB (%.2fx the %.1f MB of sheet XML, target <= 1.5x), SheetJS %.1f MB (%.1fx)\n",
         gk / 1024, gk * 1024 / xml, xml / 1e6, sk / 1024, sk * 1024 / xml;
}'
