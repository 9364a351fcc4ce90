# Shared by the side-by-side benchmark scripts (bench/*/run.sh), which source it with the
# build folder as their first argument:
#   ROOT   the source tree;  BUILD  the build folder (default ./build);
#   OUT    bench/out, the git-ignored folder for workbooks, pages and results.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
OUT=$ROOT/bench/out
mkdir -p "$OUT"

# SheetJS (the npm package `xlsx`) under bench/node_modules, installed on first use, never by
# the build. Fails when npm cannot install it.
ensure_sheetjs() {
  [ -d "$ROOT/bench/node_modules/xlsx" ] && return 0
  echo "installing SheetJS (npm package xlsx) under bench/node_modules ..."
  npm install --prefix "$ROOT/bench" --no-save --no-package-lock --no-audit --no-fund xlsx >/dev/null
}
