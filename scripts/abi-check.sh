#!/usr/bin/env bash
# Compares the ABI of libtiffview.so with the last release's, recorded in
# abi/<soname>.abi (abigail-tools: abidw dumps it, abidiff compares).
#
#   scripts/abi-check.sh            # what CI runs
#   scripts/abi-check.sh --record   # also writes abi/<soname>.abi
#
# Release procedure:
# - An incompatible change (a removed or changed exported function, a changed
#   layout of a public type such as a new data member of CTiffView) fails the
#   check. Bump SOVERSION of tiffview_shared in CMakeLists.txt, then run
#   `scripts/abi-check.sh --record` and commit abi/libtiffview.so.<new>.abi
#   with the bump. Until then the check fails; it prints the difference from
#   the newest older baseline, which shows why the bump was needed.
# - Compatible changes (added functions and variables) pass with their
#   report; a changed one fails even where abidiff rates the change
#   "ABI change" (exit bit 4) rather than incompatible (bit 8). When
#   releasing, run `scripts/abi-check.sh --record` and commit the updated
#   baseline, so that what this release adds is checked from then on.
# - --record never overwrites a baseline with an incompatible ABI.
#
# Only what the public headers in include/ declare counts (--headers-dir),
# and the std:: template instances the library happens to export are
# ignored (abi/std-instantiations.suppr): programs instantiate their own.
set -euo pipefail
cd "$(dirname "$0")/.."

record=0
case "${1-}" in
  "") ;;
  --record) record=1 ;;
  *) echo "usage: $0 [--record]" >&2; exit 2 ;;
esac

scripts/deps.sh

# -femit-class-debug-always: GCC otherwise describes CTiffView in full only
# where its vtable is, and abidw then loses the members defined in other
# files. The debug information names the checkout /tiffview wherever it is,
# so that the dump (whose order follows the source paths) is the same in
# every checkout.
build=build/abi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-femit-class-debug-always -fdebug-prefix-map=$PWD=/tiffview" \
  -DTIFFVIEW_BUILD_TESTS=OFF -DTIFFVIEW_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" --target tiffview_shared -j2

lib="$build/libtiffview.so"
soname=$(objdump -p "$lib" | awk '$1 == "SONAME" { print $2 }')
case "$soname" in
  libtiffview.so.[0-9]*) ;;
  *) echo "abi-check: unexpected soname '$soname' of $lib" >&2; exit 1 ;;
esac
soversion=${soname#libtiffview.so.}
suppr=abi/std-instantiations.suppr

# --exported-interfaces-only: without it abidw ties no declaration to
# TiffView_GetErrorText (declared in several files), and a change of its
# parameters would go unseen. The dump keeps file names without their
# directories; type ids are hashes, so that a new type does not renumber the
# others.
dump="$build/$soname.abi"
abidw --headers-dir include --drop-private-types --exported-interfaces-only \
  --suppressions "$suppr" \
  --no-corpus-path --no-comp-dir-path --short-locs --type-id-style hash \
  --out-file "$dump" "$lib"

baseline="abi/$soname.abi"
if [ ! -f "$baseline" ]; then
  # The SOVERSION was bumped: compare with the newest older baseline.
  older=$(printf '%s\n' abi/libtiffview.so.*.abi |
    sed -n 's|^abi/libtiffview\.so\.\([0-9][0-9]*\)\.abi$|\1|p' |
    awk -v v="$soversion" '$1 < v' | sort -n | tail -n 1)
  [ -n "$older" ] && baseline="abi/libtiffview.so.$older.abi" || baseline=""
fi

status=0
if [ -n "$baseline" ]; then
  echo "abi-check: abidiff $baseline $dump"
  # Both sides are dumps restricted to include/ already, so abidiff gets no
  # --headers-dir1/2 (those filter only libraries it reads itself).
  abidiff --suppressions "$suppr" --suppressions abi/sized-structs.suppr "$baseline" "$dump" \
    >"$build/abidiff.txt" || status=$?
  cat "$build/abidiff.txt"
  echo "abi-check: abidiff exit status $status"
  if [ $((status & 3)) -ne 0 ]; then
    echo "abi-check: abidiff failed" >&2
    exit 1
  fi
else
  echo "abi-check: no baseline for $soname or an older soname in abi/"
fi

if [ "$baseline" = "abi/$soname.abi" ]; then
  # abidiff rates a changed parameter type of a C function (same symbol)
  # only "ABI change" (4), not incompatible (8): a changed function or
  # variable fails here too, so that only additions pass.
  changed=0
  grep -Eq '^(Functions|Variables) changes summary: .*[1-9][0-9]* Changed' \
    "$build/abidiff.txt" && changed=1
  if [ $((status & 8)) -ne 0 ] || [ "$changed" -eq 1 ]; then
    echo "abi-check: incompatible ABI change against $baseline:" \
      "bump SOVERSION and record a baseline (scripts/abi-check.sh --record)" >&2
    exit 1
  elif [ $((status & 4)) -ne 0 ]; then
    echo "abi-check: compatible ABI change (additions) against $baseline"
  else
    echo "abi-check: no ABI change against $baseline"
  fi
elif [ "$record" -eq 0 ]; then
  echo "abi-check: no baseline for $soname (SOVERSION $soversion):" \
    "record one with scripts/abi-check.sh --record and commit abi/$soname.abi" >&2
  exit 1
fi

if [ "$record" -eq 1 ]; then
  cp "$dump" "abi/$soname.abi"
  echo "abi-check: recorded abi/$soname.abi"
fi
