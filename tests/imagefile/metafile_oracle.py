"""Writes a placeable WMF and an EMF of the same 64 x 48 scene from the published
record layouts, and the EMF's picture drawn with numpy.

usage: metafile_oracle.py OUT_PREFIX
Writes OUT_PREFIX.wmf, OUT_PREFIX.emf and OUT_PREFIX.rgb (R,G,B, top row first).
Scene on white, no outlines (null pen): a red rectangle (5,5)-(30,20), a green
triangle (40,4) (60,4) (50,20), a blue rectangle (2,30)-(20,46) drawn through a
solid brush after SaveDC/RestoreDC, and a 4 x 4 24-bit bitmap stretched onto
(35,25) 20 x 20. The WMF's logical units are half pixels (window 128 x 96,
192 units per inch).
"""
import struct
import sys

import numpy as np

W, H = 64, 48
prefix = sys.argv[1]
rng = np.random.default_rng(5)
tile = rng.integers(0, 256, (4, 4, 3), dtype=np.uint8)  # R,G,B, top row first


def dib():
    header = struct.pack('<IiiHHIIiiII', 40, 4, 4, 1, 24, 0, 48, 0, 0, 0, 0)
    rows = b''
    for y in range(3, -1, -1):  # bottom-up, rows of 12 bytes (already a multiple of 4)
        rows += tile[y][:, ::-1].tobytes()  # B,G,R
    return header, rows


def colorref(r, g, b):
    return struct.pack('<I', r | g << 8 | b << 16)


# ---- WMF ----
def wmf_record(fn, params=b''):
    assert len(params) % 2 == 0
    return struct.pack('<IH', 3 + len(params) // 2, fn) + params


def s16(*values):
    return struct.pack('<%dh' % len(values), *values)


recs = b''
WIN_W, WIN_H = 128, 96
recs += wmf_record(0x020B, s16(0, 0))
recs += wmf_record(0x020C, s16(96, 128))
recs += wmf_record(0x02FA, s16(5, 0, 0) + colorref(0, 0, 0))  # null pen -> object 0
recs += wmf_record(0x012D, s16(0))
recs += wmf_record(0x041B, s16(WIN_H, WIN_W, 0, 0))  # full-canvas white (the default brush)
recs += wmf_record(0x02FC, s16(0) + colorref(255, 0, 0) + s16(0))  # red brush -> object 1
recs += wmf_record(0x012D, s16(1))
recs += wmf_record(0x041B, s16(40, 60, 10, 10))  # bottom, right, top, left
recs += wmf_record(0x01F0, s16(1))
recs += wmf_record(0x02FC, s16(0) + colorref(0, 255, 0) + s16(0))  # green -> slot 1 again
recs += wmf_record(0x012D, s16(1))
recs += wmf_record(0x0324, s16(3, 80, 8, 120, 8, 100, 40))
recs += wmf_record(0x001E)
recs += wmf_record(0x02FC, s16(0) + colorref(0, 0, 255) + s16(0))  # blue -> object 2
recs += wmf_record(0x012D, s16(2))
recs += wmf_record(0x041B, s16(92, 40, 60, 4))
recs += wmf_record(0x0127, s16(-1))
h, rows = dib()
recs += wmf_record(0x0F43, struct.pack('<IH', 0x00CC0020, 0) + s16(4, 4, 0, 0, 40, 40, 50, 70) + h + rows)
recs += wmf_record(0x0000)
largest, at = 0, 0
while at < len(recs):
    words = struct.unpack_from('<I', recs, at)[0]
    largest, at = max(largest, words), at + 2 * words
meta = struct.pack('<HHHIHIH', 1, 9, 0x300, 9 + len(recs) // 2, 3, largest, 0)
placeable = struct.pack('<IHhhhhHI', 0x9AC6CDD7, 0, 0, 0, 128, 96, 192, 0)
checksum = 0
for k in range(10):
    checksum ^= struct.unpack_from('<H', placeable, 2 * k)[0]
with open(prefix + '.wmf', 'wb') as f:
    f.write(placeable + struct.pack('<H', checksum) + meta + recs)


# ---- EMF ----
def emf_record(kind, body=b''):
    return struct.pack('<II', kind, 8 + len(body)) + body


body = b''
body += emf_record(37, struct.pack('<I', 0x80000008))  # NULL_PEN
body += emf_record(39, struct.pack('<II', 1, 0) + colorref(255, 0, 0) + struct.pack('<I', 0))
body += emf_record(37, struct.pack('<I', 1))
body += emf_record(43, struct.pack('<iiii', 5, 5, 30, 20))
body += emf_record(40, struct.pack('<I', 1))
body += emf_record(39, struct.pack('<II', 2, 0) + colorref(0, 255, 0) + struct.pack('<I', 0))
body += emf_record(37, struct.pack('<I', 2))
body += emf_record(86, struct.pack('<iiiiI', 40, 4, 60, 20, 3) + s16(40, 4, 60, 4, 50, 20))  # POLYGON16
body += emf_record(33)
body += emf_record(39, struct.pack('<II', 3, 0) + colorref(0, 0, 255) + struct.pack('<I', 0))
body += emf_record(37, struct.pack('<I', 3))
body += emf_record(43, struct.pack('<iiii', 2, 30, 20, 46))
body += emf_record(34, struct.pack('<i', -1))
body += emf_record(43, struct.pack('<iiii', 0, 0, 0, 0))  # empty: draws nothing
h, rows = dib()
stretch = struct.pack('<iiii', 35, 25, 54, 44) + struct.pack('<iiiiii', 35, 25, 0, 0, 4, 4)
stretch += struct.pack('<IIII', 80, len(h), 80 + len(h), len(rows)) + struct.pack('<IIii', 0, 0x00CC0020, 20, 20)
body += emf_record(81, stretch + h + rows)
body += emf_record(14, struct.pack('<III', 0, 16, 20))
frame = (0, 0, round(W * 2540 / 96), round(H * 2540 / 96))
header = struct.pack('<iiii', 0, 0, W - 1, H - 1) + struct.pack('<iiii', *frame)
header += struct.pack('<IIIIHHIII', 0x464D4520, 0x10000, 0, 0, 4, 0, 0, 0, 0)
header += struct.pack('<iiii', 960, 960, 254, 254)
record = struct.pack('<II', 1, 8 + len(header)) + header
emf = bytearray(record + body)
struct.pack_into('<I', emf, 48, len(emf))
count = 1
at = len(record)
while at < len(emf):
    count += 1
    at += struct.unpack_from('<I', emf, at + 4)[0]
struct.pack_into('<I', emf, 52, count)
with open(prefix + '.emf', 'wb') as f:
    f.write(bytes(emf))

# ---- the EMF's picture with numpy: fills cover left..right-1, top..bottom-1 ----
pic = np.full((H, W, 3), 255, np.uint8)
pic[5:20, 5:30] = (255, 0, 0)
ys, xs = np.mgrid[0:H, 0:W] + 0.5
(ax, ay), (bx, by), (cx, cy) = (40, 4), (60, 4), (50, 20)


def side(px, py, qx, qy):
    return (qx - px) * (ys - py) - (qy - py) * (xs - px)


inside = (side(ax, ay, bx, by) >= 0) & (side(bx, by, cx, cy) >= 0) & (side(cx, cy, ax, ay) >= 0)
inside |= (side(ax, ay, bx, by) <= 0) & (side(bx, by, cx, cy) <= 0) & (side(cx, cy, ax, ay) <= 0)
pic[inside] = (0, 255, 0)
pic[30:46, 2:20] = (0, 0, 255)
pic[25:45, 35:55] = np.repeat(np.repeat(tile, 5, axis=0), 5, axis=1)
with open(prefix + '.rgb', 'wb') as f:
    f.write(pic.tobytes())
