#!/usr/bin/env python3
"""Regenerates the fuzz seed corpora in fuzz/seeds/ from TIFF files.

Usage: fuzz/make_seeds.py TIFF...

Every file given becomes:
- reader/: the file itself, and a re-wrapped copy that the reader accepts
  (resolution tags added, strip tables as LONG, tags sorted), as one strip
  and, when it has several rows, as strips of 7 rows when the data allows;
- fax/ or lzw/: the first strip's coded bytes behind the decoder target's
  header (raw mode), for Compression 3, 4 and 5.
A few round-trip seeds for the decoder targets are added as well. Seeds
larger than 12 KiB are skipped to keep the corpora small.
"""
import hashlib
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
LIMIT = 12 * 1024


def read_ifd(data):
    e = '<' if data[:2] == b'II' else '>'
    (off,) = struct.unpack_from(e + 'I', data, 4)
    (n,) = struct.unpack_from(e + 'H', data, off)
    tags = {}
    sizes = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8}
    for i in range(n):
        tag, typ, count = struct.unpack_from(e + 'HHI', data, off + 2 + 12 * i)
        size = sizes.get(typ, 1) * count
        at = off + 2 + 12 * i + 8
        if size > 4:
            (at,) = struct.unpack_from(e + 'I', data, at)
        if typ == 3:
            vals = list(struct.unpack_from(e + '%dH' % count, data, at))
        elif typ == 4:
            vals = list(struct.unpack_from(e + '%dI' % count, data, at))
        else:
            vals = None
        tags[tag] = vals
    return e, tags


def wrap(width, length, comp, photometric, fill, rows, strips, big):
    e = '>' if big else '<'
    body = b''
    offs = []
    for s in strips:
        offs.append(8 + len(body))
        body += s
        if len(body) % 2:
            body += b'\0'
    res = 8 + len(body)
    body += struct.pack(e + 'IIII', 204, 1, 196, 1)
    if len(strips) > 1:
        ot = 8 + len(body)
        body += struct.pack(e + '%dI' % len(strips), *offs)
        ct = 8 + len(body)
        body += struct.pack(e + '%dI' % len(strips), *[len(s) for s in strips])
    else:
        ot, ct = offs[0], len(strips[0])
    ents = sorted([(256, 4, 1, width), (257, 4, 1, length), (258, 3, 1, 1), (259, 3, 1, comp),
                   (262, 3, 1, photometric), (266, 3, 1, fill), (273, 4, len(strips), ot), (277, 3, 1, 1),
                   (278, 4, 1, rows), (279, 4, len(strips), ct), (282, 5, 1, res), (283, 5, 1, res + 8)])
    out = (b'MM' if big else b'II') + struct.pack(e + 'HI', 42, 8 + len(body)) + body
    out += struct.pack(e + 'H', len(ents))
    for t, ty, c, v in ents:
        out += struct.pack(e + 'HHIHH', t, ty, c, v, 0) if ty == 3 and c == 1 else struct.pack(e + 'HHII', t, ty, c, v)
    return out + struct.pack(e + 'I', 0)


def put(target, name, data):
    if len(data) > LIMIT:
        return
    d = os.path.join(HERE, 'seeds', target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name + '-' + hashlib.sha1(data).hexdigest()[:8]), 'wb') as f:
        f.write(data)


def seed_from(path):
    data = open(path, 'rb').read()
    base = os.path.splitext(os.path.basename(path))[0]
    put('reader', base, data)
    try:
        e, t = read_ifd(data)
        width, length = t[256][0], t[257][0]
        comp = t.get(259, [1])[0]
        photometric = t.get(262, [0])[0]
        fill = t.get(266, [1])[0]
        offs, counts = t[273], t[279]
        rps = t.get(278, [length])[0]
    except (KeyError, IndexError, struct.error, TypeError):
        return
    strips = [data[o:o + c] for o, c in zip(offs, counts)]
    if not strips or not 0 < width < 65536 or not 0 < length:
        return
    big = e == '>'
    put('reader', base + '-wrapped', wrap(width, length, comp, photometric, fill, min(rps, length), strips, big))
    put('reader', base + '-wrapped-swapped', wrap(width, length, comp, 1 - min(photometric, 1), fill,
                                                  min(rps, length), strips, not big))
    if comp == 1 and len(strips) == 1 and length > 7:
        lb = (width + 7) // 8
        s = strips[0]
        parts = [s[i:i + 7 * lb] for i in range(0, len(s), 7 * lb)]
        put('reader', base + '-rows7', wrap(width, length, 1, photometric, fill, 7, parts, big))
    first = strips[0][:4096]
    header = struct.pack('>H', (width - 1) & 0xFFFF)
    if comp in (3, 4):
        flags = (0x02 if comp == 4 else 0) | (0x04 if fill == 2 else 0) | (0x10 if photometric == 1 else 0)
        put('fax', base + '-strip', bytes([flags]) + header + struct.pack('>HI', min(rps, length) & 0xFFFF, 1) + first)
        put('fax', base + '-strip-cut', bytes([flags | 0x40]) + header + struct.pack('>HI', min(rps, length) & 0xFFFF, 7) + first)
    if comp == 5:
        put('lzw', base + '-strip', bytes([0]) + header + struct.pack('>I', 1) + first)


def round_trips():
    for flags in (0x01, 0x03, 0x07, 0x13, 0x23, 0x43, 0x63):
        put('fax', 'roundtrip-%02x' % flags,
            bytes([flags]) + struct.pack('>HBI', 200, 12, 5) + bytes([3, 5, 40, 1, 1, 90, 0, 7, 200, 2]))
    for flags in (0x01, 0x03, 0x05, 0x11):
        plain = bytes((i * 7 // 5) % 256 for i in range(3000)) + b'\0' * 500 + b'\xff' * 300
        put('lzw', 'roundtrip-%02x' % flags, bytes([flags]) + struct.pack('>HI', 215, 3) + plain)


if __name__ == '__main__':
    for p in sys.argv[1:]:
        seed_from(p)
    round_trips()
