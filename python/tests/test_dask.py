# The Dask recipe of docs/python.md, run as written on a local cluster of two
# worker processes over a few files: the same rows as the pages read here.
import pathlib

import numpy
import pytest

import tiffview

distributed = pytest.importorskip("distributed")

FILES = ["pillow-g4-multi.tiff", "libtiff-testfax4.tiff", "pillow-compression.tif", "golang-bw-gopher_ccittGroup4.tiff",
         "imgtiff-tiled-gray-i1.tif"]


def recipe():
    text = (pathlib.Path(__file__).resolve().parents[2] / "docs" / "python.md").read_text()
    blocks = [b.split("```")[0] for b in text.split("```python\n")[1:]]
    (block,) = [b for b in blocks if "import dask.bag" in b]
    return block


def test_the_dask_recipe_on_two_workers(data):
    paths = [str(data(name)) for name in FILES]
    expected = []
    for path in paths:
        with tiffview.open(path) as doc:
            expected += [(path, p.index, p.width, p.height, p.compression_name, float(p.read().mean()))
                         for p in doc if p.bilevel]
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            distributed.Client(cluster):
        # Not importable by the workers: its functions travel by value.
        namespace = {"__name__": "dask_recipe", "paths": paths}
        exec(compile(recipe(), "docs/python.md", "exec"), namespace)
        frame = namespace["frame"].compute()
        workers = set(distributed.get_client().run(lambda: 1))
    assert len(workers) == 2
    got = sorted(frame.itertuples(index=False, name=None))
    assert got == sorted(expected)
    by_coding = namespace["by_coding"]
    assert by_coding["group4"] == pytest.approx(numpy.mean([row[5] for row in expected if row[4] == "group4"]))
