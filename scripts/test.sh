#!/usr/bin/env bash
# Builds and runs every test twice: an optimised build with warnings as
# errors (with the Python package and its pytest suite), and a build under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

# The Python package is built and tested with Debian's interpreter, whose
# packages scripts/deps.sh installs (a python3 earlier on PATH may lack them).
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTIFFVIEW_WERROR=ON -DTIFFVIEW_BUILD_BENCH=ON \
  -DTIFFVIEW_PYTHON=ON -DPython3_EXECUTABLE=/usr/bin/python3
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"

cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIFFVIEW_WERROR=ON -DTIFFVIEW_SANITIZE=ON
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j"$jobs"
