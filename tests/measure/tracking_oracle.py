#!/usr/bin/python3
"""Reference results of the centroid tracker and of the predicted-track fit.

Centroid, from the definition: the brightness (R+G+B) of the tracking disc within
the frame (top row excluded), thresholded at a percentage of the brightest cell
within the tracking radius; its centroid over offsets -20..20, rounded to a whole
pixel with ties to the lower position (exact fractions), limited to +-20 and to
the frame. Predicted track: numpy.polyfit of degree 1 over the newest points, as
many as the frame range allows.

    /usr/bin/python3 tracking_oracle.py --out tests/data/measure/tracking_golden.txt
"""
import argparse
import math
from fractions import Fraction

import numpy as np


def lcg(seed):
    x = seed
    while True:
        x = (1103515245 * x + 12345) % (1 << 31)
        yield x >> 8


def disc(r):
    """The tracking disc on offsets -25..25 (x major), as the mask builder draws it."""
    m = np.zeros((51, 51), dtype=bool)
    r = min(r, 25)
    for i in range(0, r + 1):
        h = r if i == 0 else int(round(math.sqrt(r * r - (i - 0.5) ** 2)))  # halves to even
        m[25 + i, 25 - h:25 + h + 1] = m[25 - i, 25 - h:25 + h + 1] = True
    return m


def make_frame(w, h, seed, stars, noise):
    gen = lcg(seed)
    img = np.array([next(gen) % (noise + 1) if noise else 0 for _ in range(h * w * 3)], dtype=np.int64).reshape(h, w, 3)
    for (sx, sy, amp, sigma) in stars:
        for y in range(h):
            for x in range(w):
                v = int(amp * math.exp(-((x - sx) ** 2 + (y - sy) ** 2) / (2 * sigma * sigma)))
                img[y, x] = np.minimum(255, img[y, x] + v)
    return img


def shift_of(weights):
    total = sum(weights.values())
    if total == 0:
        return 0
    c = Fraction(sum(i * v for i, v in weights.items()), total)
    return max(-20, min(20, math.ceil(c - Fraction(1, 2))))  # nearest whole pixel, ties to the lower


def track(img, x, y, mask_r, radius, threshold):
    h, w, _ = img.shape
    m = disc(mask_r)
    patch = np.zeros((51, 51), dtype=np.int64)
    inside = np.zeros((51, 51), dtype=bool)
    for dx in range(-25, 26):
        for dy in range(-25, 26):
            if 0 <= x + dx < w and 1 <= y + dy < h:
                patch[dx + 25, dy + 25] = img[y + dy, x + dx].sum()
                inside[dx + 25, dy + 25] = True
    r = min(max(radius, 0), 25)
    sel = np.zeros((51, 51), dtype=bool)
    sel[25 - r:25 + r + 1, 25 - r:25 + r + 1] = True
    cand = patch[sel & m & inside]
    peak = int(cand.max()) if cand.size else 0
    if peak <= 0:
        return x, y, 0
    keep = m & (patch > round(peak * threshold / 100))
    cols, rows = {}, {}
    for i in range(-20, 21):
        for j in range(-20, 21):
            if keep[i + 25, j + 25]:
                cols[i] = cols.get(i, 0) + int(patch[i + 25, j + 25])
                rows[j] = rows.get(j, 0) + int(patch[i + 25, j + 25])
    return min(max(x + shift_of(cols), 0), w - 1), min(max(y + shift_of(rows), 0), h - 1), 1


TRACK_CASES = [  # w, h, seed, stars (x, y, amp, sigma), noise, pos, mask r, radius, threshold
    (64, 48, 1, [(30.3, 20.6, 200, 1.8)], 20, (27, 23), 10, 10, 50),
    (64, 48, 2, [(33.5, 24.0, 180, 1.5)], 0, (30, 24), 8, 8, 30),  # half-way in x
    (64, 48, 3, [(62.2, 10.4, 230, 1.6)], 10, (58, 12), 12, 12, 40),  # right edge
    (64, 48, 4, [(20.0, 0.6, 220, 1.7)], 10, (22, 3), 10, 10, 20),  # top row not read
    (64, 48, 5, [], 0, (20, 20), 10, 10, 50),  # empty
    (80, 60, 6, [(40.0, 30.0, 150, 2.5), (48.4, 33.1, 250, 1.2)], 30, (42, 31), 9, 9, 60),
    (80, 60, 7, [(62.0, 29.0, 220, 1.5)], 5, (40, 30), 25, 25, 10),  # star 22 away: limited to 20
    (80, 60, 8, [(44.6, 36.2, 120, 3.0)], 40, (40, 30), 12, 6, 70),  # disc wider than the radius
    (80, 60, 9, [(10.5, 50.5, 200, 1.4)], 0, (12, 48), 6, 6, 0),  # threshold 0
    (48, 40, 10, [(2.2, 38.7, 240, 1.3)], 15, (1, 38), 8, 8, 50),  # bottom-left corner
]

FIT_CASES = [  # n, first frame, step rule, seed, slopes, frame range
    (11, 0, lambda r: 1, 11, 0.37, -0.21, 30),
    (200, 500, lambda r: 1, 12, -0.05, 0.12, 30),
    (1100, 3000, lambda r: 1 + r % 3, 13, 0.2, 0.01, 300),
    (60, 99_950, lambda r: 2, 14, 1.3, -0.7, 50),
    (400, 46_000, lambda r: 1 + r % 5, 15, 0.003, 0.25, 100),
]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    lines = []
    for (w, h, seed, stars, noise, (x, y), mr, rad, thr) in TRACK_CASES:
        img = make_frame(w, h, seed, stars, noise)
        lines += [f"track {w} {h} {x} {y} {mr} {rad} {thr}", "rgb " + " ".join(map(str, img.ravel())),
                  "expect %d %d %d" % track(img, x, y, mr, rad, thr)]
    for (n, first, step, seed, sx, sy, rng) in FIT_CASES:
        gen = lcg(seed)
        frames, xs, ys, f = [], [], [], first
        for _ in range(n):
            frames.append(f)
            xs.append(150.0 + sx * (f - first) + (next(gen) % 2001 - 1000) / 997.0)
            ys.append(80.0 + sy * (f - first) + (next(gen) % 2001 - 1000) / 991.0)
            f += step(next(gen))
        used = min(rng, n - 1, 999) + 1
        t = np.array(frames[-used:], dtype=np.float64)
        px, py = np.polyfit(t, np.array(xs[-used:]), 1), np.polyfit(t, np.array(ys[-used:]), 1)
        lines += [f"fit {n} {rng}", "frames " + " ".join(map(str, frames)), "x " + " ".join(repr(v) for v in xs),
                  "y " + " ".join(repr(v) for v in ys), f"expect {px[0]!r} {px[1]!r} {py[0]!r} {py[1]!r}"]
    with open(args.out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
