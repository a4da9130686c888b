import os
import pathlib

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
# The shared corpus beside the checkout when there is one, else the TIFF
# files the C++ tests keep (the corpus's TIFFs).
CORPUS = pathlib.Path(os.environ.get("TIFFVIEW_CORPUS", REPO.parent / "shared" / "corpus"))
if not CORPUS.is_dir():
    CORPUS = REPO / "tests" / "data"
DATA = REPO / "tests" / "data"

CORPUS_FILES = sorted(p for p in CORPUS.iterdir() if p.is_file() and p.suffix not in (".md", ".png", ".pbm"))


@pytest.fixture
def data():
    return lambda name: DATA / name
