# Threads: documents of their own on a pool, and one document shared, give
# the pixels read one page after another; the batch helper returns or
# writes the same pages.
import concurrent.futures
import random
import warnings

import numpy
import pytest
from PIL import Image

import tiffview

FILES = ["pillow-g4-multi.tiff", "libtiff-testfax4.tiff", "pillow-pport_g4.tif", "twelve-g3aoe.tif",
         "libtiff-lzw-single-strip.tiff", "imgtiff-tiled-gray-i1.tif", "pillow-compression.tif"]


@pytest.fixture
def pages(data):
    """(path, index, pixels) of every bi-level page of FILES, read serially."""
    out = []
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", tiffview.DamageWarning)
        for name in FILES:
            with tiffview.open(data(name)) as doc:
                out += [(data(name), page.index, page.read()) for page in doc if page.bilevel]
    return out


def read_quietly(path, index, **kw):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", tiffview.DamageWarning)
        return tiffview.read(path, index, **kw)


def test_a_document_per_thread(pages):
    work = pages * 3
    random.Random(1).shuffle(work)
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        results = list(pool.map(lambda item: read_quietly(item[0], item[1]), work))
    for (path, index, expected), got in zip(work, results):
        assert numpy.array_equal(got, expected), (path.name, index)


def test_one_document_shared_by_threads(data):
    path = data("pillow-g4-multi.tiff")
    with tiffview.open(path) as doc:
        expected = [page.read() for page in doc]
        jobs = [(i % 3, (i * 397) % 4000, (i * 397) % 4000 + 300) for i in range(24)]

        def job(task):
            index, start, stop = task
            return doc[index].read(rows=(start, stop))

        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            for (index, start, stop), got in zip(jobs, pool.map(job, jobs)):
                assert numpy.array_equal(got, expected[index][start:stop])


def test_batch_returns_arrays_in_order(pages):
    paths = [path for path, index, _ in pages if index == 0]
    firsts = [pixels for _, index, pixels in pages if index == 0]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", tiffview.DamageWarning)
        got = tiffview.read_many(paths, workers=2)
        every = tiffview.read_many(paths[:1], page=None, dtype=numpy.uint8)
    assert all(numpy.array_equal(a, b) for a, b in zip(got, firsts)) and len(got) == len(firsts)
    assert len(every[0]) == 3 and numpy.array_equal(every[0][0], numpy.where(firsts[0], 0, 255))


def test_batch_writes_files_and_returns_errors(tmp_path, data):
    g4 = data("pillow-g4-multi.tiff")
    sources = [g4, data("libtiff-quad-lzw-compat.tiff"), g4.read_bytes()]
    written = tiffview.read_many(sources, page=None, output=tmp_path / "out", suffix=".pbm", errors="return")
    assert [type(w) for w in written] == [list, tiffview.Error, list]
    assert written[1].kind == tiffview.TV_ERR_SAMPLES_PER_PIXEL
    assert [p.rsplit("/", 1)[1] for p in written[0]] == ["pillow-g4-multi-1.pbm", "pillow-g4-multi-2.pbm",
                                                        "pillow-g4-multi-3.pbm"]
    for index, pbm in enumerate(written[2]):
        assert numpy.array_equal(~numpy.asarray(Image.open(pbm)), tiffview.read(g4, index))
    npy = tiffview.read_many([g4], output=tmp_path / "npy", packed=True)
    assert numpy.array_equal(numpy.load(npy[0]), tiffview.read(g4, packed=True))
    with pytest.raises(tiffview.Error):
        tiffview.read_many(sources)
