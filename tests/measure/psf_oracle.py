#!/usr/bin/python3
"""Reference fits of the Gaussian star profile.

Renders stars as 8-bit grey frames, M = Bg + A exp(-2 r^2 / sigma^2) with
r^2 = (dx + cx)^2 + (s (dy + cy))^2 (s = 1.125 for the wide-pixel case), plus
seeded Gaussian noise, rounded and clipped to 0..255. Each star is then fitted
with scipy.optimize.curve_fit over the offsets of the disc dx^2 + dy^2 <= 64
around the frame's centre pixel, with A, cx, cy, sigma and Bg all free. Writes
the frames and the fits into the golden file that the C++ test reads:

    /usr/bin/python3 psf_oracle.py --out tests/data/measure/psf_golden.txt
"""
import argparse
import math

import numpy as np
from scipy.optimize import curve_fit

SIZE = 41
CENTRE = 20
DISC = 8

# sigma, amplitude, centre offset cx, cy, background, noise, wide pixels, seed
CASES = [
    (2.2, 150.0, 0.0, 0.0, 30.0, 2.0, 0, 1),
    (3.1, 120.0, 0.1, -0.2, 40.0, 2.0, 0, 2),
    (1.8, 180.0, -0.1, 0.1, 25.0, 1.5, 0, 3),
    (2.7, 100.0, 0.2, 0.0, 50.0, 3.0, 0, 4),
    (3.4, 90.0, -0.2, -0.1, 35.0, 1.0, 0, 5),
    (2.5, 140.0, 0.1, -0.1, 30.0, 2.0, 1, 6),
    (2.0, 200.0, 0.0, 0.1, 20.0, 2.0, 0, 7),
    (2.9, 130.0, -0.1, -0.2, 45.0, 2.5, 1, 8),
]


class Lcg:
    """A fixed generator, so the frames never depend on numpy's version."""

    def __init__(self, seed):
        self.x = seed

    def uniform(self):
        self.x = (1103515245 * self.x + 12345) % (1 << 31)
        return ((self.x >> 4) + 0.5) / float(1 << 27)

    def gauss(self):
        u1, u2 = self.uniform(), self.uniform()
        return math.sqrt(-2.0 * math.log(u1)) * math.cos(2.0 * math.pi * u2)


def render(sigma, amp, cx, cy, bg, noise, wide, seed):
    rng = Lcg(seed)
    scale = 1.125 if wide else 1.0
    frame = np.zeros((SIZE, SIZE), dtype=np.int64)
    for y in range(SIZE):
        for x in range(SIZE):
            dx, dy = x - CENTRE, y - CENTRE
            r2 = (dx + cx) ** 2 + (scale * (dy + cy)) ** 2
            v = bg + amp * math.exp(-2.0 * r2 / sigma ** 2) + noise * rng.gauss()
            frame[y, x] = min(255, max(0, int(math.floor(v + 0.5))))
    return frame


def fit(frame, wide):
    scale = 1.125 if wide else 1.0
    dxs, dys, vals = [], [], []
    for dy in range(-DISC, DISC + 1):
        for dx in range(-DISC, DISC + 1):
            if dx * dx + dy * dy <= DISC * DISC:
                dxs.append(dx)
                dys.append(dy)
                vals.append(float(frame[CENTRE + dy, CENTRE + dx]))
    xy = np.array([dxs, dys], dtype=np.float64)

    def model(p, amp, cx, cy, sigma, bg):
        r2 = (p[0] + cx) ** 2 + (scale * (p[1] + cy)) ** 2
        return bg + amp * np.exp(-2.0 * r2 / sigma ** 2)

    v = np.array(vals)
    start = [v.max() - np.median(v), 0.0, 0.0, 2.5, np.median(v)]
    popt, _ = curve_fit(model, xy, v, p0=start, maxfev=20000)
    amp, cx, cy, sigma, bg = popt
    sigma = abs(sigma)
    value = math.pi * sigma ** 2 * amp / 2.0 / scale
    return sigma, amp, cx, cy, bg, value


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    lines = []
    for sigma, amp, cx, cy, bg, noise, wide, seed in CASES:
        frame = render(sigma, amp, cx, cy, bg, noise, wide, seed)
        s, a, fx, fy, fb, value = fit(frame, wide)
        lines.append(f"case {SIZE} {SIZE} {CENTRE} {CENTRE} {wide}")
        lines.append("in " + " ".join(map(str, frame.ravel())))
        lines.append(f"fit {s:.6f} {a:.6f} {fx:.6f} {fy:.6f} {fb:.6f} {value:.6f}")
    with open(args.out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
