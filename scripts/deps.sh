#!/usr/bin/env bash
# Installs what the build, the tests, the benchmarks and the ABI check need,
# when missing.
# The library itself needs only a C++17 compiler and CMake.
set -euo pipefail
# libdeflate-dev, zlib1g-dev and libjbig-dev: the optional Deflate and JBIG
# codecs (the library builds without them and refuses such pages).
# imagemagick, graphicsmagick, netpbm, ghostscript, python3-pil and
# python3-tifffile: other writers of pages for the interop tests (each case
# is skipped without its writer); libtiff-tools (tiffcp) writes JBIG pages;
# poppler-utils (pdfimages) and netpbm decode raw fax streams beside ours.
# python3-*, pybind11-dev: the Python package, its tests (Pillow as the
# oracle, Dask on a local cluster) and its benchmark.
packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libtiff-dev libbenchmark-dev libpng-dev abigail-tools
  libdeflate-dev zlib1g-dev libjbig-dev imagemagick graphicsmagick netpbm ghostscript python3-pil python3-tifffile libtiff-tools poppler-utils
  python3-dev python3-pybind11 pybind11-dev python3-numpy python3-pytest python3-pandas python3-dask python3-distributed)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
