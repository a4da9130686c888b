# Opening every kind of source, pages, metadata against Pillow's, row ranges
# and output forms, errors and damage warnings.
import io
import pathlib
import warnings

import numpy
import pytest
from PIL import Image

import tiffview
from conftest import CORPUS_FILES

MULTI = "pillow-g4-multi.tiff"        # 3 G4 pages, 2 strips each
DAMAGED = "twelve-g3aoe.tif"          # G3 with damaged lines
SHORT = "twelve-ccitt_tolessrows.tif"  # G4 strip two rows short


def pages_of(source, **kw):
    with tiffview.open(source, **kw) as doc:
        return [page.read() for page in doc]


def test_every_source_gives_the_same_pages(data):
    path = data(MULTI)
    expected = pages_of(str(path))
    raw = path.read_bytes()
    sources = [path, raw, bytearray(raw), memoryview(raw), numpy.frombuffer(raw, numpy.uint8),
               io.BytesIO(raw), path.open("rb")]
    for source in sources:
        got = pages_of(source)
        assert len(got) == 3 and all(numpy.array_equal(a, b) for a, b in zip(got, expected)), type(source)
    sources[-1].close()


def test_pages_by_index_and_iteration(data):
    with tiffview.open(data(MULTI)) as doc:
        assert len(doc) == 3
        assert [p.index for p in doc] == [0, 1, 2]
        assert doc[-1].index == 2
        with pytest.raises(IndexError):
            doc[3]
        # Pages read in any order, again and again, give the same pixels.
        last, first = doc[2].read(), doc[0].read()
        assert numpy.array_equal(doc[2].read(), last) and numpy.array_equal(doc[0].read(), first)
    assert doc.closed
    with pytest.raises(ValueError):
        doc[0]


def test_row_ranges_join_into_the_page(data):
    with tiffview.open(data(MULTI)) as doc:
        page = doc[1]
        whole = page.read()
        cuts = [0, 1, 1000, 2531, 2532, 2533, 4000, page.height]  # across the strip boundary at 2532
        parts = [page.read(rows=(a, b)) for a, b in zip(cuts, cuts[1:])]
        assert numpy.array_equal(numpy.vstack(parts), whole)
        # Backwards, by slice, into a given array, packed.
        assert numpy.array_equal(page.read(rows=slice(10, 20)), whole[10:20])
        assert numpy.array_equal(page.read(rows=slice(-5, None)), whole[-5:])
        out = numpy.ones((7, page.width), numpy.uint8)
        assert page.read(numpy.uint8, rows=(3000, 3007), out=out) is out
        assert numpy.array_equal(out, numpy.where(whole[3000:3007], 0, 255))
        assert numpy.array_equal(page.read(packed=True, rows=(5, 9)), numpy.packbits(whole[5:9], axis=1))
        for bad in [dict(rows=slice(0, 10, 2)), dict(rows=(5, 4)), dict(rows=(0, page.height + 1)),
                    dict(dtype=numpy.int16), dict(out=numpy.empty((1, 1), bool))]:
            with pytest.raises((ValueError, TypeError)):
                page.read(**bad)


def test_read_in_one_call(data):
    path = data(MULTI)
    with tiffview.open(path) as doc:
        second = doc[1].read(numpy.uint8)
    assert numpy.array_equal(tiffview.read(path, page=1, dtype=numpy.uint8), second)
    assert numpy.array_equal(tiffview.read(path, 1, packed=True), numpy.packbits(second == 0, axis=1))


# Metadata: the page's description, and every tag Pillow gives as a number
# or text, over the corpus.
def test_page_description(data):
    with tiffview.open(data("pillow-g4-fillorder-test.tif")) as doc:
        page = doc[0]
        assert (page.width, page.height, page.shape) == (218, 84, (84, 218))
        assert (page.compression, page.compression_name, page.photometric, page.fill_order) == (4, "group4", 0, 2)
        assert page.orientation == 1 and page.bilevel and not page.tiled
    with tiffview.open(data("pillow-compression.tif")) as doc:
        grey = doc[1]
        assert (grey.bilevel, grey.bits_per_sample, grey.compression_name) == (False, 8, "packbits")
        with pytest.raises(tiffview.Error) as error:
            grey.read()
        assert error.value.kind == tiffview.TV_ERR_BITS_PER_SAMPLE


def comparable(value):
    """Numbers as a tuple of floats: Pillow gives some one-value tags as tuples."""
    return tuple(float(v) for v in value) if isinstance(value, tuple) else (float(value),)


@pytest.mark.parametrize("path", [p for p in CORPUS_FILES if p.suffix.startswith(".tif")], ids=lambda p: p.name)
def test_tags_match_pillow(path):
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            image = Image.open(path)
            theirs = dict(image.tag_v2)
    except Exception:
        pytest.skip("Pillow does not open it")
    with tiffview.open(path) as doc:
        ours = doc[0].tags
        page = doc[0]
        compared = 0
        for number, value in theirs.items():
            if isinstance(value, str) and "\0" not in value:
                assert ours[number] == value, number
            elif isinstance(value, (int, float)) or (isinstance(value, tuple) and value
                                                      and all(isinstance(v, (int, float)) for v in value)):
                assert comparable(ours[number]) == comparable(value), number
            else:
                continue
            compared += 1
        assert compared > 0
        if page.bilevel and 282 in theirs and theirs.get(296) == 2 and isinstance(theirs[282], float):
            assert page.dpi == (float(theirs[282]), float(theirs[283]))


# Errors and warnings.
def test_errors_carry_the_code_and_the_message(tmp_path, data):
    missing = tmp_path / "missing.tif"
    with pytest.raises(tiffview.Error) as error:
        tiffview.open(missing)
    assert error.value.kind == tiffview.TV_ERR_FILE_OPEN
    assert str(missing) in str(error.value) and "No such file" in str(error.value)
    with pytest.raises(tiffview.Error) as error:
        tiffview.open(b"not a tiff at all")
    assert error.value.kind == tiffview.TV_ERR_BYTE_ORDER and error.value.message == str(error.value)
    # The strict profile refuses what the default reads.
    packbits = io.BytesIO()
    Image.new("1", (16, 4)).save(packbits, "TIFF", compression="packbits", dpi=(200, 200))
    assert tiffview.read(packbits.getvalue()).shape == (4, 16)
    with pytest.raises(tiffview.Error) as error:
        tiffview.read(packbits.getvalue(), strict=True)
    assert error.value.kind == tiffview.TV_ERR_COMPRESSION


def test_damage_comes_as_a_warning_with_its_ranges(data):
    with pytest.warns(tiffview.DamageWarning) as record:
        pixels = tiffview.read(data(SHORT))
    warning = record[0].message
    assert warning.ranges == [(4, 2, tiffview.TV_ERR_STRIP_SHORT)]  # libtiff: premature EOL at line 4
    assert not pixels[4:].any() and "page 1: lines 4 to 5" in str(warning)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(tiffview.DamageWarning):
            tiffview.read(data(SHORT))


@pytest.mark.parametrize("name, start, stop", [(DAMAGED, 1, 2328), (DAMAGED, 35, 36), (SHORT, 5, 6), (SHORT, 0, 4)])
def test_ranges_of_a_part_are_the_pages_ranges_cut_to_it(data, name, start, stop):
    with tiffview.open(data(name)) as doc, warnings.catch_warnings(record=True) as record:
        warnings.simplefilter("always")
        page = doc[0]
        page.read()
        whole = record[-1].message.ranges
        assert all(tiffview._tiffview.is_warning(code) for _, _, code in whole)
        before = len(record)
        page.read(packed=True, rows=(start, stop))
        cut = [(max(f, start), min(f + n, stop) - max(f, start), c) for f, n, c in whole if f < stop and f + n > start]
        assert [w.message.ranges for w in record[before:]] == ([cut] if cut else [])


def test_the_readme_example_runs_as_written(tmp_path, monkeypatch, data):
    readme = (pathlib.Path(__file__).resolve().parents[2] / "README.md").read_text()
    blocks = readme.split("```python\n")[1:]
    assert blocks, "README.md has no Python example"
    (tmp_path / "scan.tif").write_bytes(data(MULTI).read_bytes())
    monkeypatch.chdir(tmp_path)
    for block in blocks:
        exec(compile(block.split("```")[0], "README.md", "exec"), {"__name__": "readme"})


@pytest.mark.parametrize("stream, fax", [
    ("golang-ccitt-bw-gopher.ccitt_group4", tiffview.FaxStream("g4", 153)),
    ("golang-ccitt-bw-gopher-inverted-aligned.ccitt_group3",
     tiffview.FaxStream.from_pdf(k=0, columns=153, encoded_byte_align=True, black_is_1=True)),
])
def test_raw_fax_streams_read_as_their_picture(data, stream, fax):
    picture = tiffview.read(data("golang-bw-gopher_ccittGroup4.tiff"))
    with tiffview.open(data(stream), fax=fax) as doc:
        assert len(doc) == 1
        assert doc[0].compression == (4 if fax.coding == "g4" else 3)
        assert numpy.array_equal(doc[0].read(), picture)
    assert numpy.array_equal(tiffview.read(data(stream).read_bytes(), fax=fax), picture)
    with pytest.raises(ValueError):
        tiffview.open(data(stream), fax=tiffview.FaxStream("g5"))
