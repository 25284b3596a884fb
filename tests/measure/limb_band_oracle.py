# Background cells of a "Meteor/Lunar Limb" mask, from the disc rule and the two
# pairs of direction lines, on the 51 x 51 grid of offsets.
# usage: limb_band_oracle.py APERTURE INNER OUTER GAP WIDTH DX DY
import math
import sys

import numpy as np

ap, inner, outer, g, w, dx, dy = (int(a) for a in sys.argv[1:8])
x, y = np.meshgrid(np.arange(-25, 26), np.arange(-25, 26))


def disc(r):
    if r < 0:
        return np.zeros(x.shape, bool)
    h = np.where(x == 0, r, np.rint(np.sqrt(np.maximum(r * r - (np.abs(x) - 0.5) ** 2, 0))))
    return (np.abs(x) <= r) & (np.abs(y) <= h)


grid = np.zeros(x.shape, int)
grid[disc(outer)] = 2
grid[disc(inner - 1)] = 0
grid[disc(ap)] = 1
bg = grid == 2
if outer >= g:
    if dx != 0:
        m1 = dy / dx
        c1 = math.sqrt(m1 * m1 + 1) * (g if dx > 0 else -g)
        a, b = m1 * x + c1, m1 * x - c1
        bg &= ~((np.minimum(a, b) < y) & (y < np.maximum(a, b)))
    else:
        bg &= ~((-g < x) & (x < g))
    if dy != 0:
        m1 = dy / dx if dx != 0 else 1000000.0
        m2 = -1 / m1
        c2 = math.sqrt(m1 * m1 + 1) * (w if dx > 0 else -w) * m2
        a, b = m2 * x + c2, m2 * x - c2
        bg &= (np.minimum(a, b) <= y) & (y <= np.maximum(a, b))
    else:
        bg &= np.abs(x) <= w
print(int(bg.sum()))
