#!/usr/bin/python3
"""Reference relief of the 3-D star view: R+G+B patch with -1 outside the frame,
heights round(raw (30 - scale) / 10), smoothing over the valid cells (raw >= 0) of
the 21-cell or 3 x 3 neighbourhood (mean rounded half to even, median the element
(n + 1) div 2 of the values sorted descending, the own height when none is valid),
and the screen points of the turn-then-tilt projection. Screen coordinates within
1e-9 of a half are listed as "near" (cos and sin may tip them either way).

    /usr/bin/python3 threed_oracle.py --out tests/data/measure/threed_golden.txt
"""
import argparse

import numpy as np

W, H = 100, 80
SIZES = {0: "5", 1: "3", 2: "OFF"}


def lcg(seed, count, modulo):
    """A fixed generator, so the inputs never depend on numpy's version."""
    out, x = [], seed
    for _ in range(count):
        x = (1103515245 * x + 12345) % (1 << 31)
        out.append((x >> 8) % modulo)
    return out


def frame():
    """The test frame: noise plus a bright star at (4, 3), rows of R, G, B."""
    img = np.array(lcg(7, W * H * 3, 64), dtype=np.int64).reshape(H, W, 3)
    yy, xx = np.mgrid[0:H, 0:W]
    star = np.floor(180 * np.exp(-((xx - 4) ** 2 + (yy - 3) ** 2) / 8.0)).astype(np.int64)
    return np.minimum(img + star[:, :, None], 255)


def raw_patch(img, x, y):
    """raw[i + 27, j + 27] for offsets i (x), j (y) in -27..27."""
    raw = -np.ones((55, 55), dtype=np.int64)
    for i in range(-27, 28):
        for j in range(-27, 28):
            px, py = x + i, y + j
            if 0 <= px < W and 0 <= py < H:
                raw[i + 27, j + 27] = img[py, px].sum()
    return raw


def heights_of(raw, scale):
    return np.round(raw * float(30 - scale) / 10.0).astype(np.int64)


def smooth(raw, h, size, median):
    if size == 2:
        return h[2:53, 2:53].copy()
    r = 2 if size == 0 else 1
    offs = [(a, b) for a in range(-r, r + 1) for b in range(-r, r + 1) if not (r == 2 and abs(a) == 2 and abs(b) == 2)]
    out = np.zeros((51, 51), dtype=np.int64)
    for i in range(-25, 26):
        for j in range(-25, 26):
            vals = [h[i + a + 27, j + b + 27] for a, b in offs if raw[i + a + 27, j + b + 27] >= 0]
            if not vals:
                out[i + 25, j + 25] = h[i + 27, j + 27]
            elif median:
                s = sorted(vals, reverse=True)
                out[i + 25, j + 25] = s[(len(s) + 1) // 2 - 1]
            else:
                out[i + 25, j + 25] = int(np.round(np.sum(vals) / len(vals)))
    return out


def project(relief, tilt, turn):
    i, j = np.meshgrid(np.arange(-25, 26), np.arange(-25, 26), indexing="ij")
    X, Z = 5.0 * i, 5.0 * j
    Y = -np.round(relief / 3.0)
    t, a = turn * 3.14 / 180, tilt * 3.14 / 180
    x1 = X * np.cos(t) + Z * np.sin(t)
    z1 = -X * np.sin(t) + Z * np.cos(t)
    y2 = Y * np.cos(a) - z1 * np.sin(a)
    near = (np.abs(x1 - np.floor(x1) - 0.5) < 1e-9) | (np.abs(y2 - np.floor(y2) - 0.5) < 1e-9)
    return np.round(x1).astype(np.int64) + 125, np.round(y2).astype(np.int64) + 280, near


def rows(a):
    """Row j = -25..25 of a [i, j] array, i within: the probe's order."""
    return " ".join(map(str, a.T.ravel()))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    img = frame()
    lines = []
    # Every smoothing at scales 20 and 27 (outside cells' heights round to 0 there);
    # scale 30 flattens; (-20, 30) has neighbourhoods without a valid cell.
    cases = [(s, size, m) for s in (20, 27) for size in (0, 1, 2) for m in (0, 1) if not (size == 2 and m)]
    cases += [(30, 2, 0), (13, 0, 1)]
    for (x, y) in [(4, 3), (95, 76), (-20, 30)]:
        raw = raw_patch(img, x, y)
        for scale, size, median in cases:
            lines.append(f"heights {x} {y} {scale} {size} {median}")
            lines.append("out " + rows(smooth(raw, heights_of(raw, scale), size, median)))
    raw = raw_patch(img, 4, 3)
    relief = smooth(raw, heights_of(raw, 10), 0, 1)
    for tilt in (-87, -30, 15):
        for turn in (-90, -45, -12, 33, 72):
            sx, sy, near = project(relief, tilt, turn)
            lines.append(f"points 4 3 10 0 1 {tilt} {turn}")
            lines += ["sx " + rows(sx), "sy " + rows(sy), "near " + " ".join(map(str, np.flatnonzero(near.T.ravel())))]
    with open(ap.parse_args().out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
