#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each one in
# turn for SECONDS seconds, one fuzzer process at a time.
#
#   fuzz/run.sh 60                  # what CI runs
#   FUZZ_CORPUS=~/tv-corpus fuzz/run.sh 7200   # hours, keeping what it learns
#
# Environment:
#   FUZZ_BUILD   build directory (default: build-fuzz in the checkout)
#   FUZZ_CORPUS  directory that keeps one growing corpus per target between
#                runs (default: a scratch copy of fuzz/seeds, thrown away)
#   FUZZ_TARGETS targets to run (default: "reader lzw fax packbits fax_libtiff pages_libtiff raw_fax deflate jbig";
#                deflate and jbig need a build with libdeflate and jbigkit)
#   FUZZ_ASAN_OPTIONS extra AddressSanitizer options, appended
#
# Each target runs from a scratch directory holding a copy of its binary: the
# reader writes its diagnostic logs beside the executable, so they land there
# (the reader target also removes them as it goes). Crashing inputs are copied
# to <build>/artifacts/<target>/; minimise one with
#   build-fuzz/fuzz/fuzz_<target> -minimize_crash=1 -runs=100000 <file>
# and keep the result in fuzz/regressions/<target>/.
set -euo pipefail
seconds=${1:?usage: fuzz/run.sh SECONDS}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}
targets=${FUZZ_TARGETS:-reader lzw fax packbits fax_libtiff pages_libtiff raw_fax deflate jbig}

if ! command -v clang++ >/dev/null 2>&1 || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "installing clang and its runtime libraries"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq clang libclang-rt-dev >/dev/null 2>&1 ||
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq clang-14 libclang-rt-14-dev >/dev/null
fi
# The compiler is fixed when the build directory is first configured.
compiler=()
if [ ! -f "$build/CMakeCache.txt" ]; then
  compiler=(-DCMAKE_CXX_COMPILER="$(command -v clang++ || command -v clang++-14)")
fi
cmake -S "$root" -B "$build" "${compiler[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTIFFVIEW_BUILD_FUZZ=ON -DTIFFVIEW_BUILD_TESTS=OFF -DTIFFVIEW_BUILD_TOOLS=OFF >/dev/null
for t in $targets; do
  cmake --build "$build" --target "fuzz_$t" -j2 >/dev/null
done

failed=0
summary=""
for t in $targets; do
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/tiffview-fuzz-$t.XXXXXX")
  cp "$build/fuzz/fuzz_$t" "$scratch/"
  if [ -n "${FUZZ_CORPUS:-}" ]; then
    corpus="$FUZZ_CORPUS/$t"
    mkdir -p "$corpus"
  else
    corpus="$scratch/corpus"
    mkdir -p "$corpus"
  fi
  # The minimised crashers first: each must now run clean.
  regressions=("$root/fuzz/regressions/$t"/*)
  if [ -e "${regressions[0]}" ]; then
    echo "== fuzz_$t on ${#regressions[@]} regression inputs"
    if ! ( cd "$scratch" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1${FUZZ_ASAN_OPTIONS:+:$FUZZ_ASAN_OPTIONS} \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ./"fuzz_$t" "${regressions[@]}" ) >"$scratch/regressions.log" 2>&1; then
      failed=1
      grep -E 'Running:|ERROR|SUMMARY|invariant' "$scratch/regressions.log" | head -n 20
      echo "fuzz_$t fails on a regression input"
    fi
  fi
  echo "== fuzz_$t for ${seconds}s (corpus $corpus)"
  start=$(date +%s)
  set +e
  TIMEFORMAT="%U %S"
  { time { ( cd "$scratch" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1${FUZZ_ASAN_OPTIONS:+:$FUZZ_ASAN_OPTIONS} UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ./"fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
      -print_final_stats=1 -artifact_prefix="$scratch/" "$corpus" "$root/fuzz/seeds/$t" ) >"$scratch/out.log" 2>&1 ; } ; } 2>"$scratch/cpu"
  rc=$?
  set -e
  end=$(date +%s)
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$scratch/out.log" || true
  units=$(ls "$corpus" | wc -l)
  cpu=$(awk '{ printf "%d", $1 + $2 }' "$scratch/cpu" 2>/dev/null || echo "?")
  summary+="fuzz_$t: exit $rc, $((end - start))s wall, ${cpu}s CPU, corpus $units files"$'\n'
  if [ "$rc" -ne 0 ]; then
    failed=1
    tail -n 60 "$scratch/out.log"
    mkdir -p "$build/artifacts/$t"
    cp "$scratch"/crash-* "$scratch"/timeout-* "$scratch"/oom-* "$scratch"/leak-* "$build/artifacts/$t/" 2>/dev/null || true
    echo "fuzz_$t failed; inputs kept in $build/artifacts/$t/"
  fi
  rm -rf "$scratch"
done
printf '%s' "$summary"
exit $failed
