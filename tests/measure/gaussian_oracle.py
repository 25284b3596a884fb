#!/usr/bin/python3
"""Reference results of the Gaussian frame and patch smoothing.

Convolves seeded pseudo-random frames (and a 55 x 55 patch) with the 3 x 3 and
5 x 5 kernels through scipy.ndimage.convolve with zero padding, divides by the
kernel's divisor and rounds half to even. Cells whose quotient lies within 1e-9
of a half are listed, because there the decimal weights' binary rounding may tip
either way. Writes the golden file that the C++ test reads:

    /usr/bin/python3 gaussian_oracle.py --out tests/data/measure/gaussian_golden.txt
"""
import argparse

import numpy as np
from scipy import ndimage

K3 = np.array([[0.03, 0.083, 0.03], [0.083, 0.225, 0.083], [0.03, 0.083, 0.03]])
K5 = np.array([[0.13, 0.279, 0.36, 0.279, 0.13],
               [0.279, 0.6, 0.775, 0.6, 0.279],
               [0.36, 0.775, 1, 0.775, 0.36],
               [0.279, 0.6, 0.775, 0.6, 0.279],
               [0.13, 0.279, 0.36, 0.279, 0.13]])
DIVISORS = {1: 0.677, 2: 10.692}
KERNELS = {1: K3, 2: K5}


def lcg(seed, count, modulo):
    """A fixed generator, so the inputs never depend on numpy's version."""
    out = []
    x = seed
    for _ in range(count):
        x = (1103515245 * x + 12345) % (1 << 31)
        out.append((x >> 8) % modulo)
    return out


def smooth(plane, kernel):
    q = ndimage.convolve(plane.astype(np.float64), KERNELS[kernel], mode="constant", cval=0.0)
    q = q / DIVISORS[kernel]
    near = np.abs(q - np.floor(q) - 0.5) < 1e-9
    return np.round(q).astype(np.int64), near


def frame_block(lines, w, h, seed):
    data = np.array(lcg(seed, w * h * 3, 256), dtype=np.int64).reshape(h, w, 3)
    lines.append(f"frame {w} {h}")
    lines.append("in " + " ".join(map(str, data.ravel())))
    for kernel in (1, 2):
        out = np.empty_like(data)
        near = np.zeros(data.shape, dtype=bool)
        for c in range(3):  # each colour byte separately
            out[:, :, c], near[:, :, c] = smooth(data[:, :, c], kernel)
        lines.append(f"out{kernel} " + " ".join(map(str, out.ravel())))
        lines.append(f"near{kernel} " + " ".join(map(str, np.flatnonzero(near.ravel()))))


def patch_block(lines, seed):
    # cells[(dx + 27) * 55 + (dy + 27)]: rows of the array are the x offsets.
    data = np.array(lcg(seed, 55 * 55, 766), dtype=np.int64).reshape(55, 55)
    lines.append("patch 55 23")
    lines.append("in " + " ".join(map(str, data.ravel())))
    for kernel in (1, 2):
        q, near = smooth(data, kernel)
        # Only the smoothed offsets -23..23, as a 47 x 47 block in the same order.
        inner = slice(27 - 23, 27 + 24)
        lines.append(f"out{kernel} " + " ".join(map(str, q[inner, inner].ravel())))
        lines.append(f"near{kernel} " + " ".join(map(str, np.flatnonzero(near[inner, inner].ravel()))))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    lines = []
    frame_block(lines, 31, 23, 1)
    frame_block(lines, 6, 3, 2)
    frame_block(lines, 1, 1, 3)
    frame_block(lines, 2, 9, 4)
    patch_block(lines, 5)
    with open(args.out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
