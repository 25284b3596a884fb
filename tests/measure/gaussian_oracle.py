#!/usr/bin/python3
"""Reference Gaussian frame and patch smoothing: scipy.ndimage.convolve with zero
padding, divided by the kernel's divisor, rounded half to even. Cells within 1e-9
of a half are listed as "near" (the binary weights may tip either way).

    /usr/bin/python3 gaussian_oracle.py --out tests/data/measure/gaussian_golden.txt
"""
import argparse

import numpy as np
from scipy import ndimage

K3 = np.array([[0.03, 0.083, 0.03], [0.083, 0.225, 0.083], [0.03, 0.083, 0.03]])
K5 = np.array([[0.13, 0.279, 0.36, 0.279, 0.13], [0.279, 0.6, 0.775, 0.6, 0.279], [0.36, 0.775, 1, 0.775, 0.36],
               [0.279, 0.6, 0.775, 0.6, 0.279], [0.13, 0.279, 0.36, 0.279, 0.13]])
KERNELS = {1: (K3, 0.677), 2: (K5, 10.692)}


def lcg(seed, count, modulo):
    """A fixed generator, so the inputs never depend on numpy's version."""
    out, x = [], seed
    for _ in range(count):
        x = (1103515245 * x + 12345) % (1 << 31)
        out.append((x >> 8) % modulo)
    return out


def smooth(plane, kernel):
    weights, divisor = KERNELS[kernel]
    q = ndimage.convolve(plane.astype(np.float64), weights, mode="constant", cval=0.0) / divisor
    return np.round(q).astype(np.int64), np.abs(q - np.floor(q) - 0.5) < 1e-9


def emit(lines, kernel, out, near):
    lines.append(f"out{kernel} " + " ".join(map(str, out.ravel())))
    lines.append(f"near{kernel} " + " ".join(map(str, np.flatnonzero(near.ravel()))))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    lines = []
    for w, h, seed in [(31, 23, 1), (6, 3, 2), (1, 1, 3), (2, 9, 4)]:
        data = np.array(lcg(seed, w * h * 3, 256), dtype=np.int64).reshape(h, w, 3)
        lines += [f"frame {w} {h}", "in " + " ".join(map(str, data.ravel()))]
        for kernel in (1, 2):
            planes = [smooth(data[:, :, c], kernel) for c in range(3)]  # each colour byte separately
            emit(lines, kernel, np.stack([p[0] for p in planes], axis=2), np.stack([p[1] for p in planes], axis=2))
    # The patch: cells[(dx + 27) * 55 + (dy + 27)], rows are the x offsets; only -23..23 is smoothed.
    data = np.array(lcg(5, 55 * 55, 766), dtype=np.int64).reshape(55, 55)
    lines += ["patch 55 23", "in " + " ".join(map(str, data.ravel()))]
    inner = slice(27 - 23, 27 + 24)
    for kernel in (1, 2):
        q, near = smooth(data, kernel)
        emit(lines, kernel, q[inner, inner], near[inner, inner])
    with open(ap.parse_args().out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
