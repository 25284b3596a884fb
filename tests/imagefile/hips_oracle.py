"""Writes second-generation HIPS files from the published header layout and what
the picture must be, computed with numpy.

usage: hips_oracle.py OUT_PREFIX KIND
KIND: bytes, planes (three byte frames), rgb, floats, floats2, floats3, floatrgb.
Writes OUT_PREFIX.hips and OUT_PREFIX.rgb (R,G,B bytes, top row first); for
planes one .rgb per plane (OUT_PREFIX.1.rgb ...).
"""
import sys

import numpy as np

prefix, kind = sys.argv[1], sys.argv[2]
rows, cols = 7, 11
rng = np.random.default_rng(17)
formats = {'bytes': 0, 'planes': 0, 'rgb': 35, 'floats': 3, 'floats2': 3, 'floats3': 3, 'floatrgb': 37}
planes = {'planes': 3, 'floats2': 2, 'floats3': 3}.get(kind, 1)
fmt = formats[kind]


def header():
    history = "hips_oracle.py -k %s\n  second line of the history\n" % kind
    description = "a test picture\nwith a description of\nthree lines\n"
    params = ["cmap b 768 0", "note c 5 hello", "gain f 1 2.5"]
    binary = bytes(range(256)) * 3 + b"\x0a\n12\n"  # holds LF bytes and digits on purpose
    text = "HIPS\noriginal name\nsequence name\n%d\n%s\n" % (planes, "Mon Dec  7 10:00:00 2026")
    text += "%d\n%d\n%d\n%d\n0\n0\n%d\n%d\n" % (rows, cols, rows, cols, fmt, planes)
    text += "%d\n%s%d\n%s%d\n" % (len(history), history, len(description), description, len(params))
    text += "".join(p + "\n" for p in params)
    text += "%d\n" % len(binary)
    return text.encode() + binary


def to_byte(v):
    v = np.nan_to_num(v.astype(np.float64), nan=0.0, posinf=255.0, neginf=0.0)
    return np.clip(np.rint(v), 0, 255).astype(np.uint8)  # rint: halves to even


def float_values(n):
    v = rng.uniform(-20, 280, n).astype(np.float32)
    v[:12] = [0.5, 1.5, 2.5, 254.5, -0.5, 255.4, np.nan, np.inf, -np.inf, 127.49999, 3.5000002, 1e30]
    return v


out = {}
if kind in ('bytes', 'planes'):
    data = rng.integers(0, 256, (planes, rows, cols), dtype=np.uint8)
    pixels = data.tobytes()
    for p in range(planes):
        out['.%d' % (p + 1) if kind == 'planes' else ''] = np.repeat(data[p][:, :, None], 3, axis=2)
elif kind == 'rgb':
    data = rng.integers(0, 256, (rows, cols, 3), dtype=np.uint8)
    pixels = data.tobytes()
    out[''] = data
elif kind == 'floatrgb':
    v = float_values(rows * cols * 3)
    pixels = v.astype('<f4').tobytes()
    b = to_byte(v).reshape(rows, cols, 3)
    out[''] = b[:, :, ::-1]  # the triple fills blue, green, red
else:
    v = float_values(planes * rows * cols).reshape(planes, rows, cols)
    pixels = v.astype('<f4').tobytes()
    b = to_byte(v)
    if planes == 1:
        out[''] = np.repeat(b[0][:, :, None], 3, axis=2)
    else:
        rgb = np.zeros((rows, cols, 3), np.uint8)
        for p in range(min(planes, 3)):
            rgb[:, :, p] = b[p]
        out[''] = rgb

with open(prefix + '.hips', 'wb') as f:
    f.write(header() + pixels)
for suffix, picture in out.items():
    with open(prefix + suffix + '.rgb', 'wb') as f:
        f.write(np.ascontiguousarray(picture).tobytes())
