#!/usr/bin/env python3
"""tiffview against Pillow: whole G4 pages into numpy arrays, and threads.

Pages: the benchmark's generated A4 pages in Group 4 (written by
tiffview_bench --keep, libtiff as the writer) and the real G4 pages of the
corpus. Every page is first read by both and compared (Pillow's mode "1"
array is True for white; ours True for black). Then:

- per page: the median wall time of ``tiffview.read(path, page)`` and of
  ``numpy.asarray(Image.open(path))`` (after ``seek`` for later pages), the
  two taking turns; the ratio Pillow / ours (above 1: ours is faster);
- threads: every page read once per round by a pool of one thread, then
  of two, each task opening its own document; the ratio of the medians.
"""

import argparse
import concurrent.futures
import os
import pathlib
import platform
import statistics
import subprocess
import sys
import tempfile
import time

import numpy
import PIL
from PIL import Image

import tiffview

CORPUS_G4 = ["pillow-pport_g4.tif", "libtiff-testfax4.tiff", "pillow-g4-multi.tiff",
             "twelve-58-plexustiff-binary-ccitt-group4.tif", "fax-fax4.tiff", "imgtiff-fax4.tiff"]


def pillow_read(path, index):
    with Image.open(path) as image:
        if index:
            image.seek(index)
        return numpy.asarray(image)


def ours_read(path, index):
    return tiffview.read(path, index)


def median_time(fn, reps):
    times = []
    for _ in range(reps):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def g4_pages(pages_dir, corpus):
    pages = [(p, 0) for p in sorted(pathlib.Path(pages_dir).glob("*-G4.tif"))]
    for name in CORPUS_G4:
        path = pathlib.Path(corpus) / name
        if path.exists():
            with tiffview.open(path) as doc:
                pages += [(path, page.index) for page in doc if page.compression == 4]
    return pages


def main():
    here = pathlib.Path(__file__).resolve()
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--pages", help="a folder of *-G4.tif pages written by tiffview_bench --keep")
    parser.add_argument("--pages-from", help="tiffview_bench, run with --quick --keep to write the pages")
    parser.add_argument("--corpus", default=str(here.parents[3] / "shared" / "corpus"))
    parser.add_argument("--reps", type=int, default=15)
    parser.add_argument("--rounds", type=int, default=7, help="rounds of the thread comparison")
    args = parser.parse_args()

    scratch = None
    pages_dir = args.pages
    if pages_dir is None:
        if args.pages_from is None:
            parser.error("give --pages DIR or --pages-from PATH/TO/tiffview_bench")
        scratch = tempfile.TemporaryDirectory()
        pages_dir = scratch.name
        subprocess.run([args.pages_from, "--quick", "--no-rss", "--keep", pages_dir], check=True,
                       stdout=subprocess.DEVNULL)
    pages = g4_pages(pages_dir, args.corpus)

    print(f"# {time.strftime('%Y-%m-%d')}, Python {platform.python_version()}, numpy {numpy.__version__}, "
          f"Pillow {PIL.__version__}, {os.cpu_count()} CPUs, load {os.getloadavg()[0]:.2f}")
    for path, index in pages:
        if not numpy.array_equal(ours_read(path, index), ~pillow_read(path, index)):
            sys.exit(f"{path} page {index}: pixels differ from Pillow's")

    print(f"{'page':44} {'size':>11} {'Pillow ms':>10} {'ours ms':>8} {'ratio':>6}")
    ratios, pillow_total, ours_total = [], 0.0, 0.0
    for path, index in pages:
        pillow_t = ours_t = 0.0
        # Both sides in turns, each a block of repetitions, twice.
        for turn in range(2):
            sides = [("ours", lambda: ours_read(path, index)), ("pillow", lambda: pillow_read(path, index))]
            for name, fn in sides if turn == 0 else sides[::-1]:
                t = median_time(fn, args.reps)
                if name == "ours":
                    ours_t += t / 2
                else:
                    pillow_t += t / 2
        with tiffview.open(path) as doc:
            size = f"{doc[index].width}x{doc[index].height}"
        label = path.name + (f" p{index + 1}" if index else "")
        ratio = pillow_t / ours_t
        ratios.append(ratio)
        pillow_total += pillow_t
        ours_total += ours_t
        print(f"{label:44} {size:>11} {pillow_t * 1e3:10.2f} {ours_t * 1e3:8.2f} {ratio:5.2f}x")
    print(f"{'all pages (sum of medians)':44} {'':>11} {pillow_total * 1e3:10.1f} {ours_total * 1e3:8.1f} "
          f"{pillow_total / ours_total:5.2f}x   (lowest page {min(ratios):.2f}x)")

    def round_with(workers):
        with concurrent.futures.ThreadPoolExecutor(workers) as pool:
            start = time.perf_counter()
            list(pool.map(lambda item: ours_read(*item), pages))
            return time.perf_counter() - start

    for workers in (1, 2):
        round_with(workers)  # warm the pool's path once
    one, two = [], []
    for _ in range(args.rounds):
        one.append(round_with(1))
        two.append(round_with(2))
    one_t, two_t = statistics.median(one), statistics.median(two)
    print(f"threads: {len(pages)} pages, one thread {one_t * 1e3:.1f} ms, two threads {two_t * 1e3:.1f} ms, "
          f"{one_t / two_t:.2f}x (best round {min(one) / min(two):.2f}x); load {os.getloadavg()[0]:.2f}")
    if scratch is not None:
        scratch.cleanup()


if __name__ == "__main__":
    main()
