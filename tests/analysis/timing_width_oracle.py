# Brute-force fit of the integrated ramp with numpy. Each input line: the width w
# and 201 samples (i = -100..100). The model of sample i at shift s (0.01 frame) is
# the mean of the ramp (0 below -w/2, (w/2 + t) / w inside, 1 above; a step for
# w = 0) over 100 sub-steps of the frame. Coarse shifts -100..100 frames, then the
# 201 shifts of 0.01 frame around the best. Prints "found S SSR GAP" (GAP: second
# smallest minus smallest of the fine stage).
import sys
import numpy as np


def ramp(w, t):
    if w <= 0:
        return np.where(t < 0, 0.0, 1.0)
    return np.where(t < -w / 2, 0.0, np.where(t < w / 2, (w / 2 + t) / w, 1.0))


def model(w, shifts):
    i = np.arange(-100, 101)[None, :, None]
    sub = (np.arange(100)[None, None, :] + 0.5) / 100 - 0.5
    t = (100 * i - shifts[:, None, None]) / 100.0 + sub
    return ramp(w, t).mean(axis=2)


for line in sys.stdin:
    v = [float(x) for x in line.split()]
    w, y = v[0], np.array(v[1:])
    coarse = np.arange(-100, 101) * 100
    c = coarse[int(np.argmin(((y - model(w, coarse)) ** 2).sum(axis=1)))]
    fine = c + np.arange(-100, 101)
    ssr = ((y - model(w, fine)) ** 2).sum(axis=1)
    k = int(np.argmin(ssr))
    print("found", int(fine[k]), repr(float(ssr[k])), repr(float(np.partition(ssr, 1)[1] - ssr[k])))
