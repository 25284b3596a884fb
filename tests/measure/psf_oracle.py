#!/usr/bin/python3
"""Reference fits of the Gaussian star profile M = Bg + A exp(-2 r^2 / sigma^2),
r^2 = (dx + cx)^2 + (s (dy + cy))^2 (s = 1.125 for wide pixels). Stars are rendered
as 8-bit grey frames with seeded noise, then fitted by scipy.optimize.curve_fit
over the disc dx^2 + dy^2 <= 64 around the centre pixel, all five parameters free.

    /usr/bin/python3 psf_oracle.py --out tests/data/measure/psf_golden.txt
"""
import argparse
import math

import numpy as np
from scipy.optimize import curve_fit

SIZE, CENTRE, DISC = 41, 20, 8
CASES = [  # sigma, amplitude, cx, cy, background, noise, wide pixels, seed
    (2.2, 150.0, 0.0, 0.0, 30.0, 2.0, 0, 1), (3.1, 120.0, 0.1, -0.2, 40.0, 2.0, 0, 2),
    (1.8, 180.0, -0.1, 0.1, 25.0, 1.5, 0, 3), (2.7, 100.0, 0.2, 0.0, 50.0, 3.0, 0, 4),
    (3.4, 90.0, -0.2, -0.1, 35.0, 1.0, 0, 5), (2.5, 140.0, 0.1, -0.1, 30.0, 2.0, 1, 6),
    (2.0, 200.0, 0.0, 0.1, 20.0, 2.0, 0, 7), (2.9, 130.0, -0.1, -0.2, 45.0, 2.5, 1, 8),
]


def gauss_noise(seed):
    """Box-Muller over a fixed generator, so the frames never depend on numpy's version."""
    x = seed
    while True:
        u = []
        for _ in range(2):
            x = (1103515245 * x + 12345) % (1 << 31)
            u.append(((x >> 4) + 0.5) / float(1 << 27))
        yield math.sqrt(-2.0 * math.log(u[0])) * math.cos(2.0 * math.pi * u[1])


def render(sigma, amp, cx, cy, bg, noise, scale, seed):
    rng = gauss_noise(seed)
    frame = np.zeros((SIZE, SIZE), dtype=np.int64)
    for y in range(SIZE):
        for x in range(SIZE):
            r2 = (x - CENTRE + cx) ** 2 + (scale * (y - CENTRE + cy)) ** 2
            v = bg + amp * math.exp(-2.0 * r2 / sigma ** 2) + noise * next(rng)
            frame[y, x] = min(255, max(0, int(math.floor(v + 0.5))))
    return frame


def fit(frame, scale):
    cells = [(dx, dy) for dy in range(-DISC, DISC + 1) for dx in range(-DISC, DISC + 1) if dx * dx + dy * dy <= DISC * DISC]
    xy = np.array([[c[0] for c in cells], [c[1] for c in cells]], dtype=np.float64)
    v = np.array([float(frame[CENTRE + dy, CENTRE + dx]) for dx, dy in cells])

    def model(p, amp, cx, cy, sigma, bg):
        return bg + amp * np.exp(-2.0 * ((p[0] + cx) ** 2 + (scale * (p[1] + cy)) ** 2) / sigma ** 2)

    start = [v.max() - np.median(v), 0.0, 0.0, 2.5, np.median(v)]
    (amp, cx, cy, sigma, bg), _ = curve_fit(model, xy, v, p0=start, maxfev=20000)
    sigma = abs(sigma)
    return sigma, amp, cx, cy, bg, math.pi * sigma ** 2 * amp / 2.0 / scale


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    lines = []
    for sigma, amp, cx, cy, bg, noise, wide, seed in CASES:
        scale = 1.125 if wide else 1.0
        frame = render(sigma, amp, cx, cy, bg, noise, scale, seed)
        lines += [f"case {SIZE} {SIZE} {CENTRE} {CENTRE} {wide}", "in " + " ".join(map(str, frame.ravel())),
                  "fit " + " ".join(f"{p:.6f}" for p in fit(frame, scale))]
    with open(args.out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
