#!/usr/bin/env bash
# Converts generated workbooks of 10,000, 100,000 and 1,000,000 cells to HTML with
# `gridwell convert` (styled and --plain) and, side by side in the same run, with SheetJS
# (npm package `xlsx`, installed under bench/node_modules on first use), Gnumeric's ssconvert
# and LibreOffice headless; prints wall time, peak memory and page size of each, and the
# ratios against the fastest of those three.
#   bench/converter/run.sh [build-dir]        (default: ./build)
# Environment: GW_REPEAT (gridwell runs per size and kind, fastest kept; default 5),
# GW_PEERS_SMALL=0 (peers on the 1M file only), GW_NO_INSTALL=1 (install nothing; a peer
# that is missing is skipped).
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
PAGES=$OUT/pages
REPEAT=${GW_REPEAT:-5}
mkdir -p "$PAGES"
RESULTS=$OUT/converter_results.tsv
: >"$RESULTS"
NOTES=()

cmake --build "$BUILD" --target gridwell make_bench_xlsx xlsx_read_bench -j2 >/dev/null
GRIDWELL=$BUILD/cli/gridwell

# name, rows (10 cells a row), cells
SIZES=("10k 1000 10000" "100k 10000 100000" "1m 100000 1000000")
for s in "${SIZES[@]}"; do
  read -r name rows _ <<<"$s"
  book=$OUT/bench_$name.xlsx
  if [ ! -s "$book" ]; then
    echo "writing $book ..."
    "$BUILD/bench/xlsx/make_bench_xlsx" "$book" "$rows"
  fi
done

# --- peers -------------------------------------------------------------------------------
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo -n "$@"; fi
}
APT_UPDATED=0
# Installs the first Debian package of the list that has a candidate version.
apt_install() {
  local pkg
  for pkg in "$@"; do
    if ! apt-cache policy "$pkg" 2>/dev/null | grep -q 'Candidate: [0-9]' && [ $APT_UPDATED = 0 ]; then
      as_root apt-get update >"$OUT/apt-update.log" 2>&1 || true
      APT_UPDATED=1
    fi
    if apt-cache policy "$pkg" 2>/dev/null | grep -q 'Candidate: [0-9]'; then
      echo "installing $pkg from Debian ..."
      as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$pkg" \
        >"$OUT/apt-$pkg.log" 2>&1 && return 0
    fi
  done
  return 1
}

if [ ! -x /usr/bin/time ]; then
  [ "${GW_NO_INSTALL:-0}" != 1 ] && apt_install time || true
  [ -x /usr/bin/time ] || { echo "run.sh: /usr/bin/time (Debian package time) is needed" >&2; exit 1; }
fi

HAVE_SHEETJS=1
if [ ! -d "$ROOT/bench/node_modules/xlsx" ]; then
  if [ "${GW_NO_INSTALL:-0}" != 1 ] && command -v npm >/dev/null; then
    ensure_sheetjs || HAVE_SHEETJS=0
  else
    HAVE_SHEETJS=0
  fi
fi
[ $HAVE_SHEETJS = 1 ] || NOTES+=("SheetJS skipped: node/npm or the xlsx package is missing")

HAVE_GNUMERIC=1
if ! command -v ssconvert >/dev/null; then
  [ "${GW_NO_INSTALL:-0}" != 1 ] && apt_install gnumeric || true
  command -v ssconvert >/dev/null || {
    HAVE_GNUMERIC=0
    NOTES+=("Gnumeric skipped: ssconvert is missing and could not be installed")
  }
fi

HAVE_SOFFICE=1
if ! command -v soffice >/dev/null; then
  [ "${GW_NO_INSTALL:-0}" != 1 ] && apt_install libreoffice-calc-nogui libreoffice-calc || true
  command -v soffice >/dev/null || {
    HAVE_SOFFICE=0
    NOTES+=("LibreOffice skipped: soffice is missing and could not be installed")
  }
fi
LO_PROFILE=$(mktemp -d /tmp/gridwell-bench-lo.XXXXXX)
trap 'rm -rf "$LO_PROFILE"' EXIT
SOFFICE=(soffice "-env:UserInstallation=file://$LO_PROFILE" --headless --norestore --convert-to html)
if [ $HAVE_SOFFICE = 1 ]; then
  # The first start builds the private profile; that is not part of a conversion.
  mkdir -p "$PAGES/lo-warm"
  "${SOFFICE[@]}" --outdir "$PAGES/lo-warm" "$OUT/bench_10k.xlsx" >/dev/null 2>&1 || true
fi

# --- measuring ---------------------------------------------------------------------------
peak_kb() { awk -F': ' '/Maximum resident set size/ {print $2}' "$1"; }
cpu_s() { awk -F': ' '/User time|System time/ {t += $2} END {printf "%.3f", t}' "$1"; }

# measure TOOL SIZE PAGE CMD...: runs CMD once under /usr/bin/time -v (page removed first)
# and appends "tool size seconds cpu_seconds peak_kb page_bytes" to the results; a run
# that fails or writes no page is a "failed" row. PAGE "-": the command writes no page.
measure() {
  local tool=$1 size=$2 page=$3
  shift 3
  local tag=$OUT/conv-$tool-$size
  [ "$page" = - ] || rm -f "$page"
  sync
  local t0 t1
  t0=$(date +%s%N)
  if /usr/bin/time -v -o "$tag.time" "$@" >"$tag.log" 2>&1 && { [ "$page" = - ] || [ -s "$page" ]; }; then
    t1=$(date +%s%N)
    local bytes=0
    [ "$page" = - ] || bytes=$(stat -c %s "$page")
    printf '%s\t%s\t%.3f\t%s\t%s\t%s\n' "$tool" "$size" "$(((t1 - t0) / 1000))e-6" \
      "$(cpu_s "$tag.time")" "$(peak_kb "$tag.time")" "$bytes" >>"$RESULTS"
  else
    printf '%s\t%s\tfailed\t-\t-\t-\n' "$tool" "$size" >>"$RESULTS"
    NOTES+=("$tool on $size failed: see $tag.log")
  fi
}

# The fastest of GW_REPEAT runs is kept (the machine is shared and its first writes of
# fresh memory are slow); peers run once.
measure_best() {
  local tool=$1 size=$2
  local keep=$RESULTS
  RESULTS=$OUT/conv-repeat.tsv
  : >"$RESULTS"
  local i
  for ((i = 0; i < REPEAT; i++)); do measure "$@"; done
  RESULTS=$keep
  local ok median
  ok=$(grep -v failed "$OUT/conv-repeat.tsv" | sort -t$'\t' -k3,3g || true)
  if [ -z "$ok" ]; then
    printf '%s\t%s\tfailed\t-\t-\t-\n' "$tool" "$size" >>"$RESULTS"
    return
  fi
  median=$(cut -f3 <<<"$ok" | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}')
  printf '%s\t%s\n' "$(head -1 <<<"$ok")" "$median" >>"$RESULTS"
}

for s in "${SIZES[@]}"; do
  read -r name _ cells <<<"$s"
  book=$OUT/bench_$name.xlsx
  echo "converting $book ($cells cells) ..."
  measure_best reader "$name" - "$BUILD/bench/xlsx/xlsx_read_bench" "$book"
  measure_best gridwell-styled "$name" "$PAGES/gridwell-styled-$name.htm" \
    "$GRIDWELL" convert "$book" -o "$PAGES/gridwell-styled-$name.htm"
  measure_best gridwell-plain "$name" "$PAGES/gridwell-plain-$name.htm" \
    "$GRIDWELL" convert "$book" --plain -o "$PAGES/gridwell-plain-$name.htm"
  measure_best gridwell-compact "$name" "$PAGES/gridwell-compact-$name.htm" \
    "$GRIDWELL" convert "$book" --compact-styles -o "$PAGES/gridwell-compact-$name.htm"
  # The same three page kinds drawn as the sheet (--sheet-look).
  for kind in plain styled compact; do
    case $kind in
      plain) opts=(--plain) ;;
      styled) opts=() ;;
      compact) opts=(--compact-styles) ;;
    esac
    measure_best "gridwell-$kind-sheet" "$name" "$PAGES/gridwell-$kind-sheet-$name.htm" \
      "$GRIDWELL" convert "$book" "${opts[@]}" --sheet-look -o "$PAGES/gridwell-$kind-sheet-$name.htm"
  done
  if [ "$name" != 1m ] && [ "${GW_PEERS_SMALL:-1}" = 0 ]; then continue; fi
  if [ $HAVE_SHEETJS = 1 ]; then
    measure sheetjs "$name" "$PAGES/sheetjs-$name.html" node --max-old-space-size=8192 \
      "$ROOT/bench/converter/sheetjs_html.js" "$book" "$PAGES/sheetjs-$name.html"
  fi
  if [ $HAVE_GNUMERIC = 1 ]; then
    measure gnumeric "$name" "$PAGES/gnumeric-$name.html" \
      ssconvert -T Gnumeric_html:html40 "$book" "$PAGES/gnumeric-$name.html"
  fi
  if [ $HAVE_SOFFICE = 1 ]; then
    mkdir -p "$PAGES/lo-$name"
    measure libreoffice "$name" "$PAGES/lo-$name/bench_$name.html" \
      "${SOFFICE[@]}" --outdir "$PAGES/lo-$name" "$book"
  fi
done

# --- report ------------------------------------------------------------------------------
echo
echo "reader = xlsx_read_bench (load and visit the workbook, no page); gridwell and reader rows"
echo "are the fastest of $REPEAT runs (median beside it), peers one run; seconds = wall, MB = 10^6 bytes"
peers=()
[ $HAVE_SHEETJS = 1 ] && peers+=("SheetJS $(node -p "require('$ROOT/bench/node_modules/xlsx/package.json').version") (node $(node --version))")
[ $HAVE_GNUMERIC = 1 ] && peers+=("ssconvert $(ssconvert --version 2>/dev/null | sed -n "s/.*version '\(.*\)'.*/\1/p")")
[ $HAVE_SOFFICE = 1 ] && peers+=("$(soffice "-env:UserInstallation=file://$LO_PROFILE" --version 2>/dev/null | awk 'NF {print $1, $2; exit}')")
[ ${#peers[@]} -gt 0 ] && echo "peers: $(IFS=','; echo "${peers[*]}" | sed 's/,/, /g')"
for s in "${SIZES[@]}"; do
  read -r name _ cells <<<"$s"
  printf 'bench_%s.xlsx: %s cells, %s bytes\n' "$name" "$cells" "$(stat -c %s "$OUT/bench_$name.xlsx")"
done
awk -F'\t' '
  BEGIN {
    printf "%-16s %6s %9s %9s %9s %9s %9s\n", "tool", "cells", "seconds", "median s", "cpu s",
           "peak MB", "page MB";
  }
  {
    if ($3 == "failed") { printf "%-16s %6s %9s\n", $1, $2, "failed"; next }
    printf "%-16s %6s %9.3f %9s %9.3f %9.1f %9s\n", $1, $2, $3, $7 == "" ? "-" : $7, $4,
           $5 * 1024 / 1e6, $1 == "reader" ? "-" : sprintf("%.1f", $6 / 1e6);
  }' "$RESULTS"

awk -F'\t' '
  $3 != "failed" { t[$1, $2] = $3; k[$1, $2] = $5; b[$1, $2] = $6; seen[$1] = 1 }
  END {
    split("10k 100k 1m", size, " ");
    cells["10k"] = 0.01; cells["100k"] = 0.1; cells["1m"] = 1;
    print "";
    for (i = 1; i <= 3; i++) {
      s = size[i];
      best = ""; fastest = 0;
      n = split("sheetjs gnumeric libreoffice", peers, " ");
      for (j = 1; j <= n; j++) {
        p = peers[j];
        if ((p, s) in t && (fastest == 0 || t[p, s] < fastest)) { fastest = t[p, s]; best = p }
      }
      if (best == "") continue;
      printf "%-4s fastest peer %s %.3f s:", s, best, fastest;
      if (("gridwell-plain", s) in t)
        printf "  plain %.1fx faster%s", fastest / t["gridwell-plain", s],
               s == "1m" ? " (target >= 10x)" : "";
      if (("gridwell-styled", s) in t)
        printf ",  styled %.1fx faster%s", fastest / t["gridwell-styled", s],
               s == "1m" ? " (target >= 5x)" : "";
      print "";
    }
    print "";
    for (i = 1; i <= 3; i++) {
      s = size[i];
      if (!(("reader", s) in k)) continue;
      for (w = 1; w <= 3; w++) {
        g = w == 1 ? "gridwell-plain" : w == 2 ? "gridwell-styled" : "gridwell-compact";
        if (!((g, s) in k)) continue;
        printf "%-4s %-15s peak %.1f MB = %.2fx (page %.1f MB + reader %.1f MB)\n", s, g,
               k[g, s] * 1024 / 1e6, k[g, s] * 1024 / (b[g, s] + k["reader", s] * 1024),
               b[g, s] / 1e6, k["reader", s] * 1024 / 1e6;
      }
    }
    print "";
    for (w = 1; w <= 3; w++) {
      g = w == 1 ? "gridwell-plain" : w == 2 ? "gridwell-styled" : "gridwell-compact";
      line = "";
      for (i = 1; i <= 3; i++) {
        s = size[i];
        if ((g, s) in t) line = line sprintf("  %s %.3f s (%.2f s/M cells)", s, t[g, s], t[g, s] / cells[s]);
      }
      printf "%-16s%s\n", g, line;
    }
    line = "";
    for (i = 1; i <= 3; i++) {
      s = size[i];
      if (("gridwell-compact", s) in t && ("gridwell-styled", s) in t)
        line = line sprintf("  %s %.2fx", s, t["gridwell-compact", s] / t["gridwell-styled", s]);
    }
    if (line != "") printf "compact/styled time%s (target <= 1.10x)\n", line;
    for (w = 1; w <= 3; w++) {
      g = w == 1 ? "gridwell-plain" : w == 2 ? "gridwell-styled" : "gridwell-compact";
      line = "";
      for (i = 1; i <= 3; i++) {
        s = size[i];
        if ((g "-sheet", s) in t && (g, s) in t)
          line = line sprintf("  %s %.2fx", s, t[g "-sheet", s] / t[g, s]);
      }
      if (line != "") printf "%s sheet look/default time%s (target <= 1.30x)\n", g, line;
    }
  }' "$RESULTS"
if [ ${#NOTES[@]} -gt 0 ]; then
  echo
  printf 'note: %s\n' "${NOTES[@]}"
fi
