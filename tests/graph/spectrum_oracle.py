#!/usr/bin/python3
"""Pixels of the spectrum picture from the model's formulas, computed afresh.

Prints one line per wavelength 400, 405, ..., 800: "lambda x y_air y_star y_total"
for a star of the given temperature (argument, default 6650 K) and a flat camera,
with x = round((lambda - 400) * 0.8 + 40) and y = round(350 - 300 v).
"""
import sys
import numpy as np

T = float(sys.argv[1]) if len(sys.argv) > 1 else 6650.0
K = np.array([340, 360, 380, 400, 450, 500, 550, 600, 650, 700, 800], dtype=float)
V = np.array([0.49, 0.51, 0.58, 0.63, 0.73, 0.79, 0.82, 0.84, 0.88, 0.911, 0.939])


def air(lam):
    # The cubic of the knot segment ending at the first knot >= lambda, the
    # 600-650 segment extrapolated past 650 nm.
    j = next(i for i in range(len(K)) if K[i] >= lam or i == 8)
    x0, x1, x2, x3 = K[j - 2:j + 2]
    y0, y1, y2, y3 = V[j - 2:j + 2]
    h0, h1, h2 = x1 - x0, x2 - x1, x3 - x2
    d0, d1, d2 = (y1 - y0) / h0, (y2 - y1) / h1, (y3 - y2) / h2
    m1, m2 = (d1 - d0) / (x2 - x0), (d2 - d1) / (x3 - x1)
    return ((x2 - lam) ** 3 * m1 / (6 * h1) + (lam - x1) ** 3 * m2 / (6 * h1)
            + (y1 / h1 - h1 * m1 / 6) * (x2 - lam) + (y2 / h1 - h1 * m2 / 6) * (lam - x1))


lams = np.arange(400, 801, 5, dtype=float)
# Planck in SI: 2hc^2 / lambda^5 / (exp(hc / (lambda k T)) - 1), normalised; the
# program's constants (0.0143 m K, 3.7427e-16) round hc/k and 2 pi h c^2.
lam_m = lams * 1e-9
planck = 1.0 / lam_m ** 5 / np.expm1(0.0143 / (lam_m * T))
star = planck / planck.max()
for lam, s in zip(lams, star):
    a = air(lam)
    x = int(np.round((lam - 400) * 0.8 + 40))
    print(int(lam), x, int(np.round(350 - 300 * a)), int(np.round(350 - 300 * s)), int(np.round(350 - 300 * a * s)))
