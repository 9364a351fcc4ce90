#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, then builds the same small host against it
# twice, with pkg-config and with CMake's find_package, and runs each on a workbook under a
# virtual display. Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
src="$2"
work="$(mktemp -d /tmp/gridwell-install-XXXXXX)"
trap 'rm -rf "$work"' EXIT
prefix="$work/usr"

cmake --install "$build" --prefix "$prefix" >/dev/null

pc="$(find "$prefix" -name gridweller.pc)"
libdir="$(dirname "$(dirname "$pc")")"
echo "installed: ${pc#"$prefix"/}"
# The prefix is absolute and names the scratch prefix, wherever the .pc file sits.
grep -qx "prefix=$prefix" "$pc" || { echo "FAIL: gridweller.pc names another prefix:"; cat "$pc"; exit 1; }
for f in include/gridweller/control/gridwell.h include/gridweller/control/gtk/gridwell_widget.h \
  bin/gridwell bin/gridwell-demo; do
  [ -e "$prefix/$f" ] || { echo "FAIL: $f was not installed"; exit 1; }
done
ls "$libdir"/libgridweller.so* >/dev/null
ls "$libdir"/cmake/Gridweller/GridwellerConfig.cmake >/dev/null

export LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
"$prefix/bin/gridwell" --help >/dev/null

# pkg-config
export PKG_CONFIG_PATH="$libdir/pkgconfig"
# shellcheck disable=SC2046
g++ -o "$work/consumer-pc" "$src/tests/install/consumer.cc" $(pkg-config --cflags --libs gridweller)

# find_package
mkdir -p "$work/cmake-host"
cp "$src/tests/install/consumer.cc" "$work/cmake-host/"
cp "$src/tests/install/CMakeLists.txt.in" "$work/cmake-host/CMakeLists.txt"
cmake -S "$work/cmake-host" -B "$work/cmake-host/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-host/build" >/dev/null

book="$src/tests/data/xlsx/sample.xlsx"
for host in "$work/consumer-pc" "$work/cmake-host/build/consumer"; do
  mkdir -p "$work/temp"
  out="$(xvfb-run -a -s "-screen 0 1024x768x24" "$host" "$book" "$work/temp/")"
  echo "$(basename "$host"): $out"
  [ "$out" = "opened=1 sheets=4 page=written" ] || { echo "FAIL: unexpected result"; exit 1; }
done
# The GObject widget: a C host through pkg-config, and the installed introspection data.
for f in include/gridweller/gridweller.h share/gir-1.0/Gridweller-1.0.gir; do
  [ -e "$prefix/$f" ] || { echo "FAIL: $f was not installed"; exit 1; }
done
ls "$libdir"/girepository-1.0/Gridweller-1.0.typelib >/dev/null
# shellcheck disable=SC2046
gcc -Wall -Werror -o "$work/c-host" "$src/tests/install/c_host.c" \
  $(pkg-config --cflags --libs gridweller-gobject)
mkdir -p "$work/temp"
out="$(GRIDWTEMP="$work/temp" xvfb-run -a -s "-screen 0 1024x768x24" "$work/c-host" "$book")"
echo "c-host: $out"
[ "$out" = "opened=1 sheets=4" ] || { echo "FAIL: unexpected result"; exit 1; }
GI_TYPELIB_PATH="$libdir/girepository-1.0" /usr/bin/python3 -c "
import gi
gi.require_version('Gridweller', '1.0')
from gi.repository import Gridweller
assert Gridweller.OpenOptions(sheet_number=2).props.sheet_number == 2
"
echo "install test passed"
