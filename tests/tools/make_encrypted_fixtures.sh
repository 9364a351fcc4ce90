#!/usr/bin/env bash
# Writes the encrypted fixtures of tests/data/encrypted/ from the plain fixtures, with the
# test-side encryptor. The outputs are committed; salts are random, so each run gives
# different bytes with the same content. Usage: make_encrypted_fixtures.sh [ENCRYPTOR]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
encrypt="${1:-}"
if [ -z "$encrypt" ]; then
  encrypt="$("$root/tests/tools/build_encryptor.sh" "${TMPDIR:-/tmp}/gridwell-encryptor-build")"
fi
out="$root/tests/data/encrypted"
mkdir -p "$out"
"$encrypt" --rc4-cryptoapi "$root/tests/data/xls/values.xls" "$out/values_rc4cryptoapi.xls" quorin
"$encrypt" --rc4-cryptoapi "$root/tests/data/xls/sheets.xls" "$out/sheets_rc4cryptoapi.xls" quorin
"$encrypt" --agile "$root/tests/data/xlsx/values.xlsx" "$out/values_agile.xlsx" quorin
"$encrypt" --standard "$root/tests/data/xlsx/styles.xlsx" "$out/styles_standard.xlsx" quorin
"$encrypt" --agile "$root/tests/data/xlsx/sheets.xlsx" "$out/sheets_agile_default.xlsx" VelvetSweatshop
echo "make_encrypted_fixtures: wrote $(ls "$out" | wc -l) files in $out"
