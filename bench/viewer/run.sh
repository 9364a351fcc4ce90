#!/usr/bin/env bash
# Opens the plain, styled and compact (--compact-styles) pages of generated sheets of 10,000,
# 100,000 and 1,000,000 cells (10 columns of numbers, texts, dates and styled cells, from
# bench/xlsx/make_bench_xlsx) in WebKitGTK under Xvfb, as the viewer control shows them, and
# in headless Chromium, side by side in one run. Prints, per page, its size and each browser's
# time to the first contentful paint and to the load event (from the start of the navigation,
# as the page's performance timeline reports them), then the targets for 100,000 cells.
# Two more pages of 100,000 cells show where a compact page's time goes: "hidden" is the
# compact page with its table not displayed (parsing and building the document only), "bare"
# the same table with no attribute on any cell (no class, size or wrapping: table layout and
# text alone).
#   bench/viewer/run.sh [build-dir]        (default: ./build)
# The fast page (--fast-pages: blocks of rows laid out when they come into view) is measured
# beside the peer, LibreOffice's own GTK document widget (LOKDocView) opening the same
# workbooks, and three real workbooks of the corpus: first pixels, done and the peak memory of
# the whole process tree. The peer's packages (libreoffice-calc, gir1.2-lokdocview-0.1) are
# installed by this script only; they replace libreoffice-calc-nogui.
# Environment: GW_REPEAT (loads per page and browser, the median is kept; default 3),
# GW_SIZES (default "10k 100k 1m"), GW_TIMEOUT (seconds a load may take; default 240),
# A search of the fast pages (the find dialog's cost: matches counted and the first shown) is
# timed beside WebKit's own count of the matches.
# GW_DIAG=0 (leave out the two diagnostic pages), GW_PEER=0 (leave out the peer),
# GW_BOOKS (real workbooks to add; default three of the corpus when it is there), GW_KINDS
# (the pages to load; default "plain styled compact fast look", look being the compact
# sheet-look page, which the viewer shows for a big sheet in the sheet look).
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
PAGES=$OUT/viewer
REPEAT=${GW_REPEAT:-3}
SIZES=${GW_SIZES:-"10k 100k 1m"}
TIMEOUT=${GW_TIMEOUT:-240}
KINDS=${GW_KINDS:-"plain styled compact fast look"}

if [ -z "${GW_UNDER_XVFB:-}" ]; then
  if [ "${GW_PEER:-1}" != 0 ]; then
    "$ROOT/scripts/install-deps" libreoffice-calc gir1.2-lokdocview-0.1 python3-gi python3-gi-cairo
  fi
  cmake --build "$BUILD" --target gridwell make_bench_xlsx webkit_page_timing -j2 >/dev/null
  command -v xvfb-run >/dev/null || { echo "run.sh: xvfb-run (Debian package xvfb) is needed" >&2; exit 1; }
  # 24-bit screen: WebKit finds no usable visual on xvfb-run's default 8 bits.
  exec xvfb-run -a -s "-screen 0 1280x1024x24" env GW_UNDER_XVFB=1 NO_AT_BRIDGE=1 "$0" "$@"
fi

mkdir -p "$PAGES"
RESULTS=$PAGES/viewer_results.tsv
: >"$RESULTS"
declare -A ROWS=([10k]=1000 [100k]=10000 [1m]=100000)
declare -A FLAG=([plain]=--plain [styled]= [compact]=--compact-styles [fast]=--fast-pages
  [look]="--sheet-look --compact-styles")
CORPUS=${GRIDWELL_CORPUS_DIR:-$ROOT/../shared/corpus}
if [ -z "${GW_BOOKS+x}" ] && [ -d "$CORPUS" ]; then
  GW_BOOKS="$CORPUS/exceldatareader/Test_BigFormatted.xlsx $CORPUS/sheetjs/large_strings.xlsx $CORPUS/exceldatareader/Test10x10000.xlsx"
fi
BOOKS=()
for b in ${GW_BOOKS:-}; do [ -f "$b" ] && BOOKS+=("$b"); done
ALL=()
PEER_BOOKS=()
for size in $SIZES; do
  book=$OUT/bench_$size.xlsx
  [ -s "$book" ] || "$BUILD/bench/xlsx/make_bench_xlsx" "$book" "${ROWS[$size]}"
  for kind in $KINDS; do
    page=$PAGES/$kind-$size.htm
    # shellcheck disable=SC2086
    "$BUILD/cli/gridwell" convert "$book" ${FLAG[$kind]} -o "$page"
    ALL+=("$page")
  done
  PEER_BOOKS+=("$size=$book")
  if [ "$size" = 100k ] && [ "${GW_DIAG:-1}" != 0 ] && [[ " $KINDS " == *" compact "* ]]; then
    sed 's|^</STYLE>|#XL {display:none}\r\n</STYLE>|' "$PAGES/compact-$size.htm" >"$PAGES/hidden-$size.htm"
    sed -E 's/<TD [^>]*>/<TD>/g' "$PAGES/compact-$size.htm" >"$PAGES/bare-$size.htm"
    ALL+=("$PAGES/hidden-$size.htm" "$PAGES/bare-$size.htm")
  fi
done

# The real workbooks: their fast page, named after the workbook.
for b in "${BOOKS[@]}"; do
  name=$(basename "$b" | tr -c 'A-Za-z0-9\n' '_')
  "$BUILD/cli/gridwell" convert "$b" --fast-pages -o "$PAGES/fast-$name.htm" || continue
  ALL+=("$PAGES/fast-$name.htm")
  PEER_BOOKS+=("$name=$b")
done

# One line per load: browser size kind bytes paint_ms load_ms dcl_ms cells done_ms [peak_MB]
record() {
  local browser=$1 page=$2 marks=$3 base size kind
  base=$(basename "$page" .htm)
  kind=${base%-*}
  size=${base##*-}
  printf '%s\t%s\t%s\t%s\t%s\n' "$browser" "$size" "$kind" "$(stat -c %s "$page")" \
    "$(tr ' ' '\t' <<<"$marks")" >>"$RESULTS"
}

echo "WebKitGTK $(pkg-config --modversion webkit2gtk-4.1 2>/dev/null || echo '?') under Xvfb ..."
# A first load warms WebKit up (fonts, caches); its figures are not kept.
"$BUILD/bench/viewer/webkit_page_timing" --timeout "$TIMEOUT" "${ALL[0]}" >/dev/null 2>&1 || true
for ((i = 0; i < REPEAT; i++)); do
  for page in "${ALL[@]}"; do
    if marks=$("$BUILD/bench/viewer/webkit_page_timing" --timeout "$TIMEOUT" "$page" 2>/dev/null); then
      record webkit "$page" "$marks"
    else
      record webkit "$page" "-1 -1 -1 -1 -1 -1"
    fi
  done
done

CHROMIUM=$(command -v chromium || command -v chromium-browser || true)
if [ -n "$CHROMIUM" ]; then
  echo "$("$CHROMIUM" --version 2>/dev/null) headless ..."
  list=()
  for ((i = 0; i < REPEAT; i++)); do list+=("${ALL[@]}"); done
  while read -r page marks; do
    record chromium "$page" "$marks"
  done < <(python3 "$ROOT/bench/viewer/chromium_page_timing.py" --timeout "$TIMEOUT" \
    --chromium "$CHROMIUM" "${list[@]}" 2>/dev/null || true)
else
  echo "note: chromium is not installed; its columns stay empty"
fi

# The peer opens each workbook in a process of its own.
if [ "${GW_PEER:-1}" != 0 ]; then
  echo "LOKDocView (LibreOffice $(dpkg-query -W -f='${Version}' libreoffice-core 2>/dev/null || echo '?')) under Xvfb ..."
  for ((i = 0; i < REPEAT; i++)); do
    for entry in "${PEER_BOOKS[@]}"; do
      size=${entry%%=*}
      book=${entry#*=}
      if marks=$(timeout "$TIMEOUT" /usr/bin/python3 "$ROOT/bench/viewer/lok_timing.py" --timeout "$TIMEOUT" "$book" 2>/dev/null); then
        read -r paint done mem <<<"$marks"
      else
        paint=-1 done=-1 mem=-1
      fi
      printf 'lok\t%s\tpeer\t%s\t%s\t-1\t-1\t-1\t%s\t%s\n' "$size" "$(stat -c %s "$book")" \
        "$paint" "$done" "$mem" >>"$RESULTS"
    done
  done
fi

# A search of the fast pages of the generated sheets for their commonest text, as the control's
# find dialog runs it, beside WebKit's own count of the same matches (10k and 100k only: the
# 1m page takes minutes). One line per size: size matches find_ms next_ms native_n native_ms.
FINDS=$PAGES/find_results.tsv
: >"$FINDS"
if [[ " $KINDS " == *" fast "* ]]; then
  for size in $SIZES; do
    native=--native
    [ "$size" = 1m ] && native=
    for ((i = 0; i < REPEAT; i++)); do
      # shellcheck disable=SC2086
      if marks=$(timeout "$TIMEOUT" /usr/bin/python3 "$ROOT/bench/viewer/find_timing.py" --timeout 90 \
        $native "$PAGES/fast-$size.htm" Doohickey 2>/dev/null); then
        printf '%s %s\n' "$size" "$marks" >>"$FINDS"
      fi
      native=  # WebKit's own count once a size: it takes long
    done
  done
fi

# --- report ------------------------------------------------------------------------------
echo
echo "seconds from the start of the navigation (median of $REPEAT loads; - = not within ${TIMEOUT} s):"
echo "paint = first contentful paint; load = load event; done = the browser tells its client"
echo "that the load finished (the control's OpenComplete); page MB = 10^6 bytes"
awk -F'\t' -v sizes="$SIZES" -v kinds="$KINDS hidden bare" '
  function median(key,   n, i, j, t, v) {
    n = split(vals[key], v, " ");
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] + 0 < v[i] + 0) { t = v[i]; v[i] = v[j]; v[j] = t }
    return n ? v[int((n + 1) / 2)] : -1;
  }
  function sec(ms) { return ms < 0 ? "-" : sprintf("%.2f", ms / 1000) }
  {
    split("5 6 9", M, " ");
    for (m = 1; m <= 3; m++) vals[$1, $2, $3, m] = vals[$1, $2, $3, m] " " $(M[m]);
    bytes[$2, $3] = $4;
  }
  END {
    printf "%-5s %-8s %7s | %-23s | %-23s\n", "cells", "page", "page MB", "WebKitGTK paint load done", "Chromium paint load done";
    ns = split(sizes, S, " "); nk = split(kinds, K, " ");
    for (i = 1; i <= ns; i++) for (j = 1; j <= nk; j++) {
      s = S[i]; k = K[j];
      if (!((s, k) in bytes)) continue;
      line = sprintf("%-5s %-8s %7.1f", s, k, bytes[s, k] / 1e6);
      for (b = 1; b <= 2; b++) {
        br = b == 1 ? "webkit" : "chromium";
        line = line " |";
        for (m = 1; m <= 3; m++) {
          r[s, k, br, m] = median(br SUBSEP s SUBSEP k SUBSEP m);
          line = line sprintf(" %7s", sec(r[s, k, br, m]));
        }
      }
      print line;
    }
    s = "100k";
    if ((s, "compact") in bytes && (s, "plain") in bytes) {
      print "";
      printf "100k WebKitGTK: compact first paint %s s (target < 1 s)\n", sec(r[s, "compact", "webkit", 1]);
      cd = r[s, "compact", "webkit", 3]; pd = r[s, "plain", "webkit", 3];
      cl = r[s, "compact", "webkit", 2]; pl = r[s, "plain", "webkit", 2];
      if (cd > 0 && pd > 0) printf "100k WebKitGTK: compact / plain, done %.2fx, load event %.2fx (target <= 1.3x)\n", cd / pd, cl / pl;
      printf "100k page size: compact / plain %.2fx (target <= 1.3x), styled / plain %.2fx\n",
             bytes[s, "compact"] / bytes[s, "plain"], bytes[s, "styled"] / bytes[s, "plain"];
    }
  }' "$RESULTS"

# The fast page beside the peer: median first pixels, done and peak memory.
python3 - "$RESULTS" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    f = line.rstrip("\n").split("\t")
    if len(f) < 9:
        continue
    browser, size, kind = f[0], f[1], f[2]
    if not (browser == "lok" or (browser == "webkit" and kind.startswith("fast"))):
        continue
    key = size if kind in ("fast", "peer") else kind[len("fast-"):]
    if browser == "lok" and kind == "peer":
        key = size
    mem = float(f[9]) if len(f) > 9 else -1
    rows.setdefault((key, browser), []).append((float(f[4]), float(f[8]), mem))
def med(v, i):
    xs = [x[i] for x in v if x[i] >= 0]
    return statistics.median(xs) if xs else -1
def sec(ms):
    return "-" if ms < 0 else f"{ms / 1000:.2f}"
print()
print("fast page in WebKitGTK beside the peer LOKDocView (median; seconds from the start; MB peak of the process tree)")
print(f"{'sheet':<28} | {'fast: pixels done MB':<22} | {'peer: pixels done MB':<22} | done ratio")
for key in sorted({k for k, _ in rows}, key=lambda k: (len(k), k)):
    w, p = rows.get((key, "webkit"), []), rows.get((key, "lok"), [])
    wd, pd = med(w, 1), med(p, 1)
    ratio = f"{wd / pd:.2f}x" if wd > 0 and pd > 0 else "-"
    print(f"{key:<28} | {sec(med(w, 0)):>6} {sec(wd):>6} {med(w, 2):>6.0f} | {sec(med(p, 0)):>6} {sec(pd):>6} {med(p, 2):>6.0f} | {ratio}")
PY

# The searches: the median of the page's own find, WebKit's own count once.
if [ -s "$FINDS" ]; then python3 - "$FINDS"; fi <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    f = line.split()
    runs.setdefault(f[0], []).append([float(x) for x in f[1:]])
print()
print("find 'Doohickey' on the fast page in WebKitGTK (seconds; target on 100k: < 2 s)")
print(f"{'cells':<6} {'matches':>8} {'find':>6} {'next':>6} | {'WebKit own count':>17}")
for size, rs in runs.items():
    native = [r for r in rs if r[3] >= 0]
    own = f"{native[0][3]:.0f} in {native[0][4] / 1000:.2f}" if native else "-"
    print(f"{size:<6} {rs[0][0]:>8.0f} {statistics.median(r[1] for r in rs) / 1000:>6.2f} "
          f"{statistics.median(r[2] for r in rs) / 1000:>6.2f} | {own:>17}")
PY
