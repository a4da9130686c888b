#!/usr/bin/env bash
# Proves the installed package works: installs a build tree to a scratch
# prefix, then builds and runs against it
#   - the C++ consumer (tiffview::Reader) with the CMake package, shared and
#     static, and with pkg-config;
#   - the C consumer (TiffViewC.h) as C99 with pkg-config, shared (found at
#     run time through its RUNPATH alone) and static (`pkg-config --static`
#     with a C compiler, once with only libtiffview.a linked in and, unless
#     sanitizers are on, once fully static);
#   - the installed tool.
# Every program reads the same image and must print the same size, line and
# black pixel count.
#
#   examples/check_package.sh BUILD_DIR SCRATCH_DIR IMAGE.tif [EXTRA_FLAGS]
#
# EXTRA_FLAGS go to compiling and linking the consumers (a sanitizer build
# of the library needs its sanitizer flags there too).
set -euo pipefail

if [ $# -lt 3 ]; then
  echo "usage: $0 BUILD_DIR SCRATCH_DIR IMAGE.tif [EXTRA_FLAGS]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
scratch=$2
image=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
extra=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
# Consumers must find the library on their own, as they would for a user.
unset LD_LIBRARY_PATH DESTDIR

fail() { echo "package check FAILED: $*" >&2; exit 1; }

rm -rf "$scratch"
mkdir -p "$scratch"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" || fail "cmake --install (see $scratch/install.log)"

pc=$(find "$prefix" -name tiffview.pc -print -quit)
[ -n "$pc" ] || fail "no tiffview.pc installed"
libdir=$(dirname "$(dirname "$pc")")
[ -f "$prefix/bin/tiffview" ] || fail "bin/tiffview not installed"
for f in libtiffview.a libtiffview.so libtiffview.so.2; do
  [ -e "$libdir/$f" ] || fail "$f not installed in $libdir"
done
[ -f "$libdir/cmake/TiffView/TiffViewConfig.cmake" ] || fail "no CMake package file"
# The four public headers and nothing of the private ones.
headers=$(cd "$prefix/include" && find . -type f | sort | tr '\n' ' ')
[ "$headers" = "./TiffView.h ./TiffViewC.h ./TiffViewCodes.h ./TiffViewReader.hpp " ] || fail "unexpected installed headers: $headers"

# The tool's search path is relative to where it lies, and a RUNPATH.
bin_to_lib=$(realpath --relative-to="$prefix/bin" "$libdir")
readelf -d "$prefix/bin/tiffview" | grep -q "(RUNPATH) .*\[\$ORIGIN/$bin_to_lib\]" ||
  fail "installed tool lacks the RUNPATH \$ORIGIN/$bin_to_lib: $(readelf -d "$prefix/bin/tiffview" | grep -i path)"

needs_libtiffview() { readelf -d "$1" | grep "(NEEDED)" | grep -q "libtiffview"; }
size_line='^[0-9]+ x [0-9]+, [0-9]+ lines, [0-9]+ black pixels$'

run_consumer() {  # name binary
  local out
  out=$("$2" "$image") || fail "$1 consumer failed on $image"
  echo "$out" >"$scratch/$1.out"
  tail -n 1 "$scratch/$1.out" | grep -Eq "$size_line" || fail "$1 consumer: $out"
  tail -n 1 "$scratch/$1.out" >"$scratch/$1.size"
}
run_cxx_consumer() {  # name binary
  run_consumer "$@"
  grep -q "^tiffview 1\.1\.1\.3$" "$scratch/$1.out" || fail "$1 consumer: wrong version line: $(cat "$scratch/$1.out")"
}
uses_installed_so() {  # name binary
  local found
  found=$(ldd "$2" | sed -n 's/^[[:space:]]*libtiffview\.so\.2 => \(.*\) (0x[0-9a-f]*)$/\1/p')
  if [ -z "$found" ] || ! [ "$found" -ef "$libdir/libtiffview.so.2" ]; then
    fail "the $1 consumer does not use the installed libtiffview.so.2: $(ldd "$2" | grep tiffview)"
  fi
}

# C++ with the CMake package.
for variant in shared static; do
  static=OFF
  [ "$variant" = static ] && static=ON
  cmake -S "$here/consumer" -B "$scratch/consumer-$variant" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCONSUMER_STATIC=$static -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS="$extra" -DCMAKE_EXE_LINKER_FLAGS="$extra" >"$scratch/consumer-$variant.log" 2>&1 ||
    fail "configuring the consumer ($variant) against the package (see $scratch/consumer-$variant.log)"
  cmake --build "$scratch/consumer-$variant" >>"$scratch/consumer-$variant.log" 2>&1 ||
    fail "building the consumer ($variant) (see $scratch/consumer-$variant.log)"
  run_cxx_consumer "cmake-$variant" "$scratch/consumer-$variant/tiffview_consumer"
done
needs_libtiffview "$scratch/consumer-static/tiffview_consumer" && fail "the static consumer depends on the shared library"
uses_installed_so cmake-shared "$scratch/consumer-shared/tiffview_consumer"

# C++ with pkg-config and the documented run-time path.
PKG_CONFIG_PATH=$(dirname "$pc")
export PKG_CONFIG_PATH
pkg-config --exists tiffview || fail "pkg-config does not find tiffview"
[ "$(pkg-config --modversion tiffview)" = 1.1.1.3 ] || fail "pkg-config version $(pkg-config --modversion tiffview)"
[ "$(pkg-config --variable=libdir tiffview)" -ef "$libdir" ] || fail "pkg-config libdir $(pkg-config --variable=libdir tiffview)"
# shellcheck disable=SC2046,SC2086
c++ -std=c++17 $extra -o "$scratch/consumer-pc" "$here/consumer/main.cpp" $(pkg-config --cflags --libs tiffview) \
  -Wl,-rpath,"$(pkg-config --variable=libdir tiffview)" >"$scratch/consumer-pc.log" 2>&1 ||
  fail "building the consumer with pkg-config (see $scratch/consumer-pc.log)"
run_cxx_consumer pkgconfig "$scratch/consumer-pc"
uses_installed_so pkgconfig "$scratch/consumer-pc"

# C99 with pkg-config, through the example's Makefile.
command -v cc >/dev/null || fail "no C compiler (cc)"
for variant in shared static; do
  mkdir -p "$scratch/c-$variant"
  make -C "$scratch/c-$variant" -f "$here/c_consumer/Makefile" LINK=$variant CC=cc \
    CFLAGS="-O2 -Werror $extra" LDFLAGS="$extra" >"$scratch/c-$variant.log" 2>&1 ||
    fail "building the C consumer ($variant) (see $scratch/c-$variant.log)"
  run_consumer "c-$variant" "$scratch/c-$variant/tiffview_c_consumer"
done
uses_installed_so c-shared "$scratch/c-shared/tiffview_c_consumer"
needs_libtiffview "$scratch/c-static/tiffview_c_consumer" && fail "the static C consumer depends on the shared library"
# Fully static, the plain `pkg-config --static` recipe; sanitizer runtimes
# cannot be linked that way.
if [ -z "$extra" ]; then
  # shellcheck disable=SC2046
  cc -std=c99 -pedantic-errors -Wall -Wextra -Werror -static -o "$scratch/c-full-static" "$here/c_consumer/main.c" \
    $(pkg-config --static --cflags --libs tiffview) >"$scratch/c-full-static.log" 2>&1 ||
    fail "linking the C consumer fully static (see $scratch/c-full-static.log)"
  readelf -d "$scratch/c-full-static" | grep -q "(NEEDED)" && fail "the fully static C consumer needs shared libraries"
  run_consumer c-full-static "$scratch/c-full-static"
fi

for f in "$scratch"/*.size; do
  cmp -s "$scratch/cmake-shared.size" "$f" ||
    fail "consumers disagree: $(cat "$scratch/cmake-shared.size") vs $(basename "$f" .size): $(cat "$f")"
done
expected=$(sed -E 's/^([0-9]+) x ([0-9]+), [0-9]+ lines,.*/\1 x \2, \2 lines,/' "$scratch/cmake-shared.size")
grep -q "^$expected" "$scratch/cmake-shared.size" || fail "not every line was read: $(cat "$scratch/cmake-shared.size")"

"$prefix/bin/tiffview" info "$image" >"$scratch/tool.out" || fail "installed tiffview info failed"
size=$(grep -Eo "^[0-9]+ x [0-9]+" "$scratch/cmake-shared.size")
grep -Eq "^ *width: *${size% x *}$" "$scratch/tool.out" || fail "installed tool and consumers disagree on the width"
grep -Eq "^ *length: *${size#* x }$" "$scratch/tool.out" || fail "installed tool and consumers disagree on the length"

consumers=("$scratch"/*.size)
echo "package check passed (${#consumers[@]} consumers): $(cat "$scratch/cmake-shared.size")"
