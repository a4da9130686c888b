"""Bi-level (1 bit per pixel) TIFF pages, fax and scanner pages, as numpy arrays.

    >>> import tiffview
    >>> with tiffview.open("scan.tif") as doc:
    ...     for page in doc:
    ...         pixels = page.read()          # (height, width) bool, True = black

``page.read(dtype=numpy.uint8)`` gives Pillow's mode "L" values (0 black,
255 white), ``page.read(packed=True)`` the rows as stored, 8 pixels a byte,
first pixel in bit 7, 1 = black. Decoding runs without the GIL; use one
document per thread (a shared document is safe but reads one page at a
time). Lines delivered damaged come with a :class:`DamageWarning`; failures
raise :class:`Error`.
"""

from __future__ import annotations

import builtins
import concurrent.futures
import dataclasses
import os
import warnings
from typing import Any, Iterator

import numpy

from . import _tiffview

#: The library's version.
__version__: str = _tiffview.version

__all__ = [
    "open", "read", "read_many", "oriented", "Document", "Page", "FaxStream", "Error", "DamageWarning",
    "COMPRESSION_NAMES", "TAG_NAMES", "codes",
]

#: The library's result codes by name (``TV_ERR_DECODE``, ...), as in TiffViewCodes.h.
codes: dict[str, int] = dict(_tiffview.codes)
globals().update(codes)
__all__ += sorted(codes)

#: Compression numbers and the names Pillow gives them.
COMPRESSION_NAMES: dict[int, str] = {
    1: "raw",
    2: "tiff_ccitt",
    3: "group3",
    4: "group4",
    5: "tiff_lzw",
    32773: "packbits",
}

#: Names of the tags a bi-level page commonly carries.
TAG_NAMES: dict[int, str] = {
    254: "NewSubfileType", 255: "SubfileType", 256: "ImageWidth", 257: "ImageLength",
    258: "BitsPerSample", 259: "Compression", 262: "PhotometricInterpretation",
    263: "Threshholding", 266: "FillOrder", 269: "DocumentName", 270: "ImageDescription",
    271: "Make", 272: "Model", 273: "StripOffsets", 274: "Orientation", 277: "SamplesPerPixel",
    278: "RowsPerStrip", 279: "StripByteCounts", 282: "XResolution", 283: "YResolution",
    284: "PlanarConfiguration", 285: "PageName", 292: "T4Options", 293: "T6Options",
    296: "ResolutionUnit", 297: "PageNumber", 305: "Software", 306: "DateTime", 315: "Artist",
    316: "HostComputer", 317: "Predictor", 320: "ColorMap", 322: "TileWidth", 323: "TileLength",
    324: "TileOffsets", 325: "TileByteCounts", 326: "BadFaxLines", 327: "CleanFaxData",
    328: "ConsecutiveBadFaxLines", 33432: "Copyright",
}

_ASCII = 2
# A damaged page's warning names its first few ranges; .ranges has them all.
_LISTED_RANGES = 4
_BYTES_TYPES = (1, 6, 7)


class Error(Exception):
    """A file or page that cannot be read.

    ``code`` is the library's 32-bit result code (tag number or strip index
    in bits 8..23), ``kind`` the code without that context, to compare with
    ``tiffview.TV_ERR_*``; ``str(error)`` is the library's English message,
    naming the source, the page and the tag or strip concerned.
    """

    def __init__(self, code: int, message: str) -> None:
        super().__init__(message)
        self.code = code
        self.kind = code & _tiffview.CODE_MASK
        self.message = message


class DamageWarning(UserWarning):
    """Lines delivered, but not wholly as coded (a damaged or short strip).

    ``ranges`` lists ``(first_line, line_count, code)`` for the lines read
    with a warning; ``source`` and ``page`` tell where.
    """

    def __init__(self, source: str, page: int, ranges: list[tuple[int, int, int]]) -> None:
        parts = []
        for first, count, code in ranges[:_LISTED_RANGES]:
            lines = f"line {first}" if count == 1 else f"lines {first} to {first + count - 1}"
            parts.append(f"{lines}: {_tiffview.error_text(code).rstrip('.')}")
        if len(ranges) > _LISTED_RANGES:
            parts.append(f"and {len(ranges) - _LISTED_RANGES} more ranges (see .ranges)")
        super().__init__(f"{source}: page {page + 1}: " + "; ".join(parts) + ".")
        self.source = source
        self.page = page
        self.ranges = ranges


def _check(code: int, message: str) -> None:
    if code != 0 and not _tiffview.is_warning(code):
        raise Error(code, message)


def _tag_value(type_: int, value: Any) -> Any:
    if type_ == _ASCII:
        return value.decode("latin-1")
    if type_ in _BYTES_TYPES:
        return value
    return value[0] if len(value) == 1 else value


class Page:
    """One page of a :class:`Document`, read when asked.

    Size and coding come from the page's directory and are known for every
    page; the rest (resolution, fill order, ...) needs a page this library
    reads and raises :class:`Error` otherwise.
    """

    def __init__(self, document: Document, index: int) -> None:
        self._document = document
        self.index = index
        self._summary = document._doc.summary(index)
        self._info: dict[str, Any] | None = None

    def __repr__(self) -> str:
        return (f"<tiffview.Page {self.index} of {self._document.name!r}: {self.width}x{self.height}, "
                f"{self.compression_name}>")

    def _described(self) -> dict[str, Any]:
        if self._info is None:
            code, message, info = self._document._doc.describe(self.index)
            _check(code, message)
            self._info = info
        return self._info

    @property
    def width(self) -> int:
        """Pixels per row."""
        return self._summary["width"]

    @property
    def height(self) -> int:
        """Rows (TIFF's ImageLength)."""
        return self._summary["height"]

    @property
    def shape(self) -> tuple[int, int]:
        """``(height, width)``, the shape of :meth:`read`'s array."""
        return (self.height, self.width)

    @property
    def bilevel(self) -> bool:
        """One sample of one bit: a page this library is made for."""
        return self._summary["bilevel"]

    @property
    def bits_per_sample(self) -> int:
        return self._summary["bits_per_sample"]

    @property
    def samples_per_pixel(self) -> int:
        return self._summary["samples_per_pixel"]

    @property
    def compression(self) -> int:
        """TIFF's compression number (4 = Group 4, 3 = Group 3, ...)."""
        return self._summary["compression"]

    @property
    def compression_name(self) -> str:
        """The compression as Pillow names it (``"group4"``, ``"raw"``, ...)."""
        return COMPRESSION_NAMES.get(self.compression, f"unknown ({self.compression})")

    @property
    def photometric(self) -> int:
        """0 = white is zero, 1 = black is zero (the stored sense; :meth:`read` always gives True = black)."""
        return self._summary["photometric"]

    @property
    def resolution(self) -> tuple[float, float]:
        """``(x, y)`` pixels per :attr:`resolution_unit`; 0.0 where the page gives none."""
        info = self._described()
        return (info["x_resolution"], info["y_resolution"])

    @property
    def resolution_unit(self) -> int:
        """1 = none, 2 = inch, 3 = centimetre."""
        return self._described()["resolution_unit"]

    @property
    def dpi(self) -> tuple[float, float] | None:
        """Pixels per inch, or None when the unit is not a length."""
        x, y = self.resolution
        unit = self.resolution_unit
        if unit == 2:
            return (x, y)
        if unit == 3:
            return (x * 2.54, y * 2.54)
        return None

    @property
    def orientation(self) -> int:
        """TIFF Orientation, 1..8 as stored (pixels are never rotated)."""
        return self._described()["orientation"]

    @property
    def fill_order(self) -> int:
        """1 = first pixel in the high bit of each stored byte, 2 = in the low bit."""
        return self._described()["fill_order"]

    @property
    def t4_options(self) -> int:
        return self._described()["t4_options"]

    @property
    def t6_options(self) -> int:
        return self._described()["t6_options"]

    @property
    def tiled(self) -> bool:
        return self._summary["tiled"]

    @property
    def tags(self) -> dict[int, Any]:
        """Every entry of the page's directory by tag number.

        ASCII values are ``str`` (text before the first NUL), BYTE and
        UNDEFINED values ``bytes``, numbers ``int`` or ``float`` (rationals
        as quotients), several numbers a tuple; an entry whose values lie
        outside the file has an empty tuple. Names: :data:`TAG_NAMES`.
        """
        code, message, entries = self._document._doc.tags(self.index)
        _check(code, message)
        return {number: _tag_value(type_, value) for number, type_, _count, value in entries}

    def read(self, dtype: Any = bool, *, packed: bool = False, rows: slice | tuple[int, int] | None = None,
             out: numpy.ndarray | None = None) -> numpy.ndarray:
        """The page's pixels as a new (or the given) array.

        ``dtype=bool`` (default): True = black. ``dtype=numpy.uint8``: 0 for
        black and 255 for white, as Pillow's mode "L". ``packed=True``:
        ``(rows, (width + 7) // 8)`` uint8, the bits as stored (first pixel
        in bit 7, 1 = black, whatever the file's photometric and fill
        order). ``rows``: a ``slice`` (step 1) or ``(start, stop)`` to read
        part of a tall page. ``out``: an array of the right shape and dtype
        to fill instead of a new one.

        Raises :class:`Error`; damaged lines come with a :class:`DamageWarning`.
        """
        start, stop = _row_range(rows, self.height)
        if packed:
            mode, dtype, columns = 2, numpy.uint8, (self.width + 7) // 8
        else:
            dtype = numpy.dtype(dtype)
            if dtype == numpy.bool_:
                mode = 0
            elif dtype == numpy.uint8:
                mode = 1
            else:
                raise TypeError("dtype must be bool or numpy.uint8 (or packed=True)")
            columns = self.width
        shape = (stop - start, columns)
        if out is None:
            out = numpy.empty(shape, dtype=dtype)
        elif out.shape != shape or out.dtype != numpy.dtype(dtype):
            raise ValueError(f"out must be {numpy.dtype(dtype)} of shape {shape}")
        code, message, damage = self._document._doc.read(self.index, start, stop, mode, out)
        _check(code, message)
        if damage:
            warnings.warn(DamageWarning(self._document.name, self.index, damage), stacklevel=2)
        return out


def oriented(pixels: numpy.ndarray, orientation: int) -> numpy.ndarray:
    """``pixels`` (rows as stored) turned upright for TIFF ``orientation`` 1..8.

    A view, not a copy: the same turn Pillow applies when it loads a page
    (and ``ImageOps.exif_transpose``), e.g. 6 turns the page a quarter
    clockwise. Other values leave the array as it is.
    """
    if orientation == 2:
        return pixels[:, ::-1]
    if orientation == 3:
        return pixels[::-1, ::-1]
    if orientation == 4:
        return pixels[::-1, :]
    if orientation == 5:
        return pixels.T
    if orientation == 6:
        return numpy.rot90(pixels, -1)
    if orientation == 7:
        return pixels[::-1, ::-1].T
    if orientation == 8:
        return numpy.rot90(pixels, 1)
    return pixels


def _row_range(rows: slice | tuple[int, int] | None, height: int) -> tuple[int, int]:
    if rows is None:
        return 0, height
    if isinstance(rows, slice):
        start, stop, step = rows.indices(height)
        if step != 1:
            raise ValueError("rows must be read in order, one after another (step 1)")
        return start, max(start, stop)
    start, stop = rows
    if not 0 <= start <= stop <= height:
        raise ValueError(f"rows ({start}, {stop}) outside the page's 0..{height}")
    return start, stop


@dataclasses.dataclass(frozen=True)
class FaxStream:
    """A raw CCITT fax stream's parameters: fax data without a TIFF file
    around it, as fax software keeps it and as PDF's CCITTFaxDecode filter
    carries it. Pass it as ``fax=`` to :func:`open` or :func:`read`; the
    source is then one page.

    ``coding``: "mh" (rows from byte boundaries, no EOLs), "g3", "g3-2d" or
    "g4". ``rows=0``: as many as the stream holds, up to its end of block
    or of data. ``byte_aligned``: each row starts at a byte boundary (PDF's
    EncodedByteAlign). ``black_is_1``: PDF's BlackIs1 (the page comes out
    complemented). ``lsb_first``: bits filled from each byte's least
    significant bit.
    """

    coding: str = "g3"
    width: int = 1728
    rows: int = 0
    byte_aligned: bool = False
    black_is_1: bool = False
    lsb_first: bool = False

    @classmethod
    def from_pdf(cls, k: int = 0, columns: int = 1728, rows: int = 0, encoded_byte_align: bool = False,
                 black_is_1: bool = False) -> FaxStream:
        """The stream a PDF CCITTFaxDecode filter's parameters describe."""
        coding = "g4" if k < 0 else "g3" if k == 0 else "g3-2d"
        return cls(coding, columns, rows, encoded_byte_align, black_is_1)

    def _as_tuple(self) -> tuple[int, int, int, bool, bool, bool]:
        codings = {"mh": 0, "g3": 1, "g3-2d": 2, "g4": 3}
        if self.coding not in codings:
            raise ValueError(f"fax coding {self.coding!r} is none of {', '.join(codings)}")
        return (codings[self.coding], self.width, self.rows, self.byte_aligned, self.black_is_1, self.lsb_first)


class Document:
    """A TIFF file's pages: ``len(doc)``, ``doc[i]``, ``for page in doc``.

    ``source`` is a path (``str`` or ``os.PathLike``), ``bytes`` or any
    object with the buffer protocol (read in place: keep it unchanged while
    the document is open), or a binary file object (read into memory).
    ``strict=True`` reads with the fax/scanner profile (first page only,
    resolution tags required, ...). ``fax=FaxStream(...)`` reads the source
    as a raw fax stream instead of a TIFF file. Close it, or use it as a
    context manager.
    """

    def __init__(self, source: Any, *, strict: bool = False, fax: FaxStream | None = None) -> None:
        self._doc = _tiffview.Document()
        self._closed = False
        raw = fax._as_tuple() if fax is not None else None
        if isinstance(source, (str, os.PathLike)):
            self.name = os.fsdecode(source)
            code, message = self._doc.open_path(os.fsencode(source), strict, raw)
        else:
            if hasattr(source, "read") and not isinstance(source, memoryview):
                self.name = str(getattr(source, "name", "<file object>"))
                source = source.read()
            else:
                self.name = "<memory>"
            code, message = self._doc.open_buffer(source, strict, raw)
        if code != 0:
            self._doc.close()
            raise Error(code, message)
        self._count = self._doc.page_count()

    def __repr__(self) -> str:
        state = "closed" if self._closed else f"{self._count} page(s)"
        return f"<tiffview.Document {self.name!r}: {state}>"

    def __len__(self) -> int:
        return self._count

    def __getitem__(self, index: int) -> Page:
        if self._closed:
            raise ValueError("the document is closed")
        if index < 0:
            index += self._count
        if not 0 <= index < self._count:
            raise IndexError(f"page {index} out of range for {self._count} page(s)")
        return Page(self, index)

    def __iter__(self) -> Iterator[Page]:
        for index in range(self._count):
            yield self[index]

    def __enter__(self) -> Document:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    @property
    def closed(self) -> bool:
        return self._closed

    def close(self) -> None:
        """Closes the source; pages read before keep their arrays."""
        if not self._closed:
            self._doc.close()
            self._closed = True


def open(source: Any, *, strict: bool = False, fax: FaxStream | None = None) -> Document:  # noqa: A001 - named after Image.open
    """Opens a TIFF file (or, with ``fax``, a raw fax stream): a path, bytes,
    a buffer or a binary file object; see :class:`Document`."""
    return Document(source, strict=strict, fax=fax)


def read(source: Any, page: int = 0, dtype: Any = bool, *, packed: bool = False,
         rows: slice | tuple[int, int] | None = None, strict: bool = False,
         fax: FaxStream | None = None) -> numpy.ndarray:
    """One page in one call: ``tiffview.open(source)[page].read(...)``."""
    with Document(source, strict=strict, fax=fax) as doc:
        return doc[page].read(dtype, packed=packed, rows=rows)


def _write(path: str, pixels: numpy.ndarray, packed: bool, width: int) -> None:
    if path.endswith(".pbm"):
        # P4: rows packed 8 pixels a byte, first pixel in the high bit, 1 = black.
        bits = pixels if packed else numpy.packbits(pixels if pixels.dtype == numpy.bool_ else pixels == 0, axis=1)
        with builtins.open(path, "wb") as f:
            f.write(b"P4\n%d %d\n" % (width, bits.shape[0]))
            f.write(numpy.ascontiguousarray(bits).tobytes())
    else:
        numpy.save(path, pixels)


def read_many(sources: Any, page: int | None = 0, dtype: Any = bool, *, packed: bool = False,
              workers: int | None = None, output: str | os.PathLike[str] | None = None,
              suffix: str = ".npy", errors: str = "raise", strict: bool = False) -> list[Any]:
    """Reads many files on a thread pool, one document per task.

    Returns a list in the order of ``sources``: for each source the array of
    ``page`` (or, with ``page=None``, a list of the arrays of every page).
    With ``output``, each page is written there instead (``suffix`` ".npy"
    for numpy.save, ".pbm" for a binary PBM), named after the source and
    numbered by page from 1, and the list holds the paths written.
    ``errors="return"`` puts the :class:`Error` of a failed source in its
    place instead of raising it. ``workers`` defaults to the CPU count.
    """
    if errors not in ("raise", "return"):
        raise ValueError('errors must be "raise" or "return"')
    if output is not None:
        os.makedirs(output, exist_ok=True)

    def one(index_source: tuple[int, Any]) -> Any:
        index, source = index_source
        try:
            with Document(source, strict=strict) as doc:
                pages = [doc[page]] if page is not None else list(doc)
                results = []
                for p in pages:
                    pixels = p.read(dtype, packed=packed)
                    if output is None:
                        results.append(pixels)
                        continue
                    stem = os.path.splitext(os.path.basename(doc.name))[0] if isinstance(source, (str, os.PathLike)) \
                        else f"source{index}"
                    path = os.path.join(os.fspath(output), f"{stem}-{p.index + 1}{suffix}")
                    _write(path, pixels, packed, p.width)
                    results.append(path)
                return results[0] if page is not None else results
        except Error as error:
            if errors == "return":
                return error
            raise

    with concurrent.futures.ThreadPoolExecutor(max_workers=workers or os.cpu_count() or 1) as pool:
        return list(pool.map(one, enumerate(sources)))
