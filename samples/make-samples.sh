#!/usr/bin/env bash
# Makes the demo's sample files in samples/ and leaves them there to be committed:
#   sample.xlsx    the comics catalogue as written by libxlsxwriter (tools/make_comics.cc)
#   comics.xls     the same workbook saved as BIFF8 by Gnumeric's ssconvert
#   protected.xls  comics.xls encrypted with RC4 CryptoAPI under the password "quorin"
#   image.jpg      the table background picture (tools/make_image.cc)
# The test suite never runs this script: it uses the committed files. Gnumeric is installed
# on demand because nothing else needs it.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cxx="${CXX:-c++}"
flags=(-std=c++20 -O1 -Wall -Wextra -Werror)

command -v ssconvert >/dev/null 2>&1 || "$root/scripts/install-deps" gnumeric

# shellcheck disable=SC2046
"$cxx" "${flags[@]}" -I "$here/.." "$here/tools/make_comics.cc" -o "$work/make_comics" \
  $(pkg-config --cflags --libs xlsxwriter)
# shellcheck disable=SC2046
"$cxx" "${flags[@]}" "$here/tools/make_image.cc" -o "$work/make_image" \
  $(pkg-config --cflags --libs gdk-pixbuf-2.0)

"$work/make_comics" "$work/sample.xlsx"
"$work/make_image" "$work/image.jpg"
# Gnumeric prints a line for every comment shape of the .xlsx that it reads as a plain note;
# the comments themselves come through.
ssconvert --export-type=Gnumeric_Excel:excel_biff8 "$work/sample.xlsx" "$work/comics.xls" \
  2>"$work/ssconvert.log" || { cat "$work/ssconvert.log" >&2; exit 1; }
grep -v 'Unhandled object of type Note' "$work/ssconvert.log" >&2 || true

# The encryptor is one of the test tools; build it unless one is named.
encrypt="${ENCRYPT_WORKBOOK:-}"
if [ -z "$encrypt" ]; then
  encrypt="$("$root/tests/tools/build_encryptor.sh" "${SAMPLES_BUILD_DIR:-$root/build-samples}")"
fi
"$encrypt" --rc4-cryptoapi "$work/comics.xls" "$work/protected.xls" quorin

cp "$work/sample.xlsx" "$work/comics.xls" "$work/protected.xls" "$work/image.jpg" "$here/"
echo "make-samples: wrote sample.xlsx, comics.xls, protected.xls and image.jpg in $here"
