#!/usr/bin/env bash
# Builds the host tool, describes the bundled sample page, checks that every
# line decodes, and converts it to out/sample.png and out/sample.pbm. It
# builds the libraries too, so that `cmake --install` of the build directory
# works right after it.
# TIFFVIEW_BUILD_DIR picks another build directory (default build/release).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=${TIFFVIEW_BUILD_DIR:-build/release}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target tiffview tiffview_static tiffview_shared >/dev/null
tool=$build/tools/tiffview
mkdir -p out
"$tool" info --strips samples/sample.tif
echo
"$tool" check samples/sample.tif
"$tool" convert samples/sample.tif -o out/sample.png
echo "wrote out/sample.png"
"$tool" convert samples/sample.tif -o out/sample.pbm
echo "wrote out/sample.pbm"
