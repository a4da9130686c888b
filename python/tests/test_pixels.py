# Every page of the corpus that Pillow reads, read by both: the same pixels
# after Pillow's conventions (mode "1": True = white; mode "P": the palette
# index; a page decoded through libtiff turned upright by its Orientation,
# when that tag is a number), and the same in each output form of ours.
import warnings

import numpy
import pytest
from PIL import Image

import tiffview
from conftest import CORPUS_FILES


def pillow_pages(path):
    """(index, mode, turned, array) of every page Pillow decodes; it stops where Pillow does."""
    try:
        image = Image.open(path)
    except Exception:
        return
    index = 0
    while True:
        try:
            image.seek(index)
            image.load()
            pixels = numpy.asarray(image)
        except EOFError:
            return
        except Exception:
            index += 1
            if index >= getattr(image, "n_frames", 1):
                return
            continue
        # Pillow turns what libtiff decodes by an Orientation it reads as a
        # number (not one stored as BYTE, which it keeps as bytes).
        turned = getattr(image, "use_load_libtiff", False) and isinstance(image.tag_v2.get(274), int)
        yield index, image.mode, turned, pixels
        index += 1


@pytest.mark.parametrize("path", CORPUS_FILES, ids=lambda p: p.name)
def test_pixels_match_pillow(path):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        pages = [page for page in pillow_pages(path) if page[1] in ("1", "P")]
    if not pages:
        pytest.skip("Pillow reads no bi-level page of this file")
    with tiffview.open(path) as doc, warnings.catch_warnings():
        warnings.simplefilter("ignore", tiffview.DamageWarning)
        for index, mode, turned, theirs in pages:
            page = doc[index]
            ours = page.read()
            expected = ~theirs if mode == "1" else theirs == 1
            upright = tiffview.oriented(ours, page.orientation) if turned else ours
            assert numpy.array_equal(upright, expected), f"page {index}"
            assert numpy.array_equal(page.read(numpy.uint8), numpy.where(ours, 0, 255).astype(numpy.uint8))
            assert numpy.array_equal(page.read(packed=True), numpy.packbits(ours, axis=1))
