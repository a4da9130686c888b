"""Bi-level TIFF pages as numpy arrays (typing stubs)."""
import os
from typing import Any, Iterator, Literal

import numpy
import numpy.typing

_Source = str | os.PathLike[str] | bytes | bytearray | memoryview | Any
_Rows = slice | tuple[int, int] | None

__version__: str
codes: dict[str, int]
COMPRESSION_NAMES: dict[int, str]
TAG_NAMES: dict[int, str]

class Error(Exception):
    code: int
    kind: int
    message: str
    def __init__(self, code: int, message: str) -> None: ...

class DamageWarning(UserWarning):
    source: str
    page: int
    ranges: list[tuple[int, int, int]]
    def __init__(self, source: str, page: int, ranges: list[tuple[int, int, int]]) -> None: ...

class Page:
    index: int
    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    @property
    def shape(self) -> tuple[int, int]: ...
    @property
    def bilevel(self) -> bool: ...
    @property
    def bits_per_sample(self) -> int: ...
    @property
    def samples_per_pixel(self) -> int: ...
    @property
    def compression(self) -> int: ...
    @property
    def compression_name(self) -> str: ...
    @property
    def photometric(self) -> int: ...
    @property
    def resolution(self) -> tuple[float, float]: ...
    @property
    def resolution_unit(self) -> int: ...
    @property
    def dpi(self) -> tuple[float, float] | None: ...
    @property
    def orientation(self) -> int: ...
    @property
    def fill_order(self) -> int: ...
    @property
    def t4_options(self) -> int: ...
    @property
    def t6_options(self) -> int: ...
    @property
    def tiled(self) -> bool: ...
    @property
    def tags(self) -> dict[int, Any]: ...
    def read(self, dtype: numpy.typing.DTypeLike = ..., *, packed: bool = ..., rows: _Rows = ...,
             out: numpy.ndarray | None = ...) -> numpy.ndarray: ...

class FaxStream:
    coding: Literal["mh", "g3", "g3-2d", "g4"]
    width: int
    rows: int
    byte_aligned: bool
    black_is_1: bool
    lsb_first: bool
    def __init__(self, coding: Literal["mh", "g3", "g3-2d", "g4"] = ..., width: int = ..., rows: int = ...,
                 byte_aligned: bool = ..., black_is_1: bool = ..., lsb_first: bool = ...) -> None: ...
    @classmethod
    def from_pdf(cls, k: int = ..., columns: int = ..., rows: int = ..., encoded_byte_align: bool = ...,
                 black_is_1: bool = ...) -> FaxStream: ...

class Document:
    name: str
    def __init__(self, source: _Source, *, strict: bool = ..., fax: FaxStream | None = ...) -> None: ...
    def __len__(self) -> int: ...
    def __getitem__(self, index: int) -> Page: ...
    def __iter__(self) -> Iterator[Page]: ...
    def __enter__(self) -> Document: ...
    def __exit__(self, *exc: object) -> None: ...
    @property
    def closed(self) -> bool: ...
    def close(self) -> None: ...

def oriented(pixels: numpy.ndarray, orientation: int) -> numpy.ndarray: ...
def open(source: _Source, *, strict: bool = ..., fax: FaxStream | None = ...) -> Document: ...
def read(source: _Source, page: int = ..., dtype: numpy.typing.DTypeLike = ..., *, packed: bool = ...,
         rows: _Rows = ..., strict: bool = ..., fax: FaxStream | None = ...) -> numpy.ndarray: ...
def read_many(sources: Any, page: int | None = ..., dtype: numpy.typing.DTypeLike = ..., *, packed: bool = ...,
              workers: int | None = ..., output: str | os.PathLike[str] | None = ..., suffix: str = ...,
              errors: Literal["raise", "return"] = ..., strict: bool = ...) -> list[Any]: ...

# The result codes of TiffViewCodes.h.
TV_ERR_ARGUMENT: int
TV_ERR_BITS_PER_SAMPLE: int
TV_ERR_BYTE_ORDER: int
TV_ERR_COMPRESSION: int
TV_ERR_DECODE: int
TV_ERR_END_OF_IMAGE: int
TV_ERR_FILE_HANDLE: int
TV_ERR_FILE_OPEN: int
TV_ERR_FILE_SHORT: int
TV_ERR_HEADER_SHORT: int
TV_ERR_IFD_COUNT_READ: int
TV_ERR_IFD_OFFSET_ZERO: int
TV_ERR_IFD_READ: int
TV_ERR_LINE_BUFFER: int
TV_ERR_LINE_DAMAGED: int
TV_ERR_LINE_SHORT: int
TV_ERR_MAGIC: int
TV_ERR_NO_MEMORY: int
TV_ERR_PAGE_MISSING: int
TV_ERR_PAGE_OPTION: int
TV_ERR_PATH_LENGTH: int
TV_ERR_PHOTOMETRIC: int
TV_ERR_SAMPLES_PER_PIXEL: int
TV_ERR_STRIP_LONG: int
TV_ERR_STRIP_READ: int
TV_ERR_STRIP_SEEK: int
TV_ERR_STRIP_SHORT: int
TV_ERR_TAG_COUNT: int
TV_ERR_TAG_MISSING: int
TV_ERR_TAG_READ: int
TV_ERR_TAG_SEEK: int
TV_ERR_TAG_TYPE: int
TV_ERR_TAG_VALUE: int
TV_OK: int
