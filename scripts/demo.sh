#!/usr/bin/env bash
# Builds the host tool and runs it on the bundled sample image.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)" --target tiffview >/dev/null
mkdir -p out
build/release/tools/tiffview info samples/sample.tif
build/release/tools/tiffview convert samples/sample.tif out/sample.pbm
echo "wrote out/sample.pbm"
