#!/usr/bin/env bash
# Proves the installed package works: installs a build tree to a scratch
# prefix, then builds and runs the consumer example against it three ways
# (CMake package with the shared and with the static library, and
# pkg-config), and runs the installed tool.
#
#   examples/check_package.sh BUILD_DIR SCRATCH_DIR IMAGE.tif [EXTRA_CXX_FLAGS]
#
# EXTRA_CXX_FLAGS go to compiling and linking the consumer (a sanitizer
# build of the library needs its sanitizer flags there too).
set -euo pipefail

if [ $# -lt 3 ]; then
  echo "usage: $0 BUILD_DIR SCRATCH_DIR IMAGE.tif [EXTRA_CXX_FLAGS]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
scratch=$2
image=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
extra=${4:-}
here=$(cd "$(dirname "$0")" && pwd)

fail() { echo "package check FAILED: $*" >&2; exit 1; }

rm -rf "$scratch"
mkdir -p "$scratch"
prefix=$scratch/prefix
unset DESTDIR
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" || fail "cmake --install (see $scratch/install.log)"

pc=$(find "$prefix" -name tiffview.pc -print -quit)
[ -n "$pc" ] || fail "no tiffview.pc installed"
libdir=$(dirname "$(dirname "$pc")")
for f in include/TiffView.h bin/tiffview; do
  [ -f "$prefix/$f" ] || fail "$f not installed"
done
for f in libtiffview.a libtiffview.so libtiffview.so.1; do
  [ -e "$libdir/$f" ] || fail "$f not installed in $libdir"
done
[ -f "$libdir/cmake/TiffView/TiffViewConfig.cmake" ] || fail "no CMake package file"
# Only the public header is part of the package.
headers=$(cd "$prefix/include" && find . -type f | sort | tr '\n' ' ')
[ "$headers" = "./TiffView.h " ] || fail "unexpected installed headers: $headers"

run_consumer() {  # name binary
  local out
  out=$("$2" "$image") || fail "$1 consumer failed on $image"
  echo "$out" >"$scratch/$1.out"
  grep -q "^tiffview 1\.1\.1\.3$" "$scratch/$1.out" || fail "$1 consumer: wrong version line: $out"
  grep -Eq "^[0-9]+ x [0-9]+, [0-9]+ lines, [0-9]+ black pixels$" "$scratch/$1.out" || fail "$1 consumer: $out"
}

for variant in shared static; do
  static=OFF
  [ "$variant" = static ] && static=ON
  cmake -S "$here/consumer" -B "$scratch/consumer-$variant" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCONSUMER_STATIC=$static -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS="$extra" -DCMAKE_EXE_LINKER_FLAGS="$extra" >"$scratch/consumer-$variant.log" 2>&1 ||
    fail "configuring the consumer ($variant) against the package (see $scratch/consumer-$variant.log)"
  cmake --build "$scratch/consumer-$variant" >>"$scratch/consumer-$variant.log" 2>&1 ||
    fail "building the consumer ($variant) (see $scratch/consumer-$variant.log)"
  run_consumer "$variant" "$scratch/consumer-$variant/tiffview_consumer"
done
if ldd "$scratch/consumer-static/tiffview_consumer" | grep -q libtiffview; then
  fail "the static consumer depends on the shared library"
fi
ldd "$scratch/consumer-shared/tiffview_consumer" | grep -q "$libdir/libtiffview.so.1" ||
  fail "the shared consumer does not use the installed libtiffview.so.1"

export PKG_CONFIG_PATH=$(dirname "$pc")
pkg-config --exists tiffview || fail "pkg-config does not find tiffview"
[ "$(pkg-config --modversion tiffview)" = 1.1.1.3 ] || fail "pkg-config version $(pkg-config --modversion tiffview)"
# shellcheck disable=SC2046,SC2086
c++ -std=c++17 $extra -o "$scratch/consumer-pc" "$here/consumer/main.cpp" $(pkg-config --cflags --libs tiffview) \
  -Wl,-rpath,"$libdir" || fail "building the consumer with pkg-config"
run_consumer pkgconfig "$scratch/consumer-pc"

cmp -s "$scratch/shared.out" "$scratch/static.out" || fail "shared and static consumers disagree"
cmp -s "$scratch/shared.out" "$scratch/pkgconfig.out" || fail "CMake and pkg-config consumers disagree"

"$prefix/bin/tiffview" info "$image" >"$scratch/tool.out" || fail "installed tiffview info failed"
size=$(grep -Eo "^[0-9]+ x [0-9]+" "$scratch/shared.out")
grep -q "^  width: *${size% x *}$" "$scratch/tool.out" || fail "installed tool and consumer disagree on the width"

echo "package check passed: $(tail -n 1 "$scratch/shared.out")"
