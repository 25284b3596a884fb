# Outline cells of a mask, by erosion: a cell of value v is on the outline when
# the 4-connected erosion of (mask == v) drops it, the square's border counting
# as outside. Reads 51 rows of 51 values (row = dy from -25, column = dx from
# -25) on stdin; prints "dx dy v" per outline cell of value 1 or 2.
import sys

import numpy as np
from scipy import ndimage

rows = [list(map(int, line.split())) for line in sys.stdin if line.strip()]
m = np.array(rows)
assert m.shape == (51, 51)
cross = ndimage.generate_binary_structure(2, 1)
for v in (1, 2):
    cells = m == v
    kept = ndimage.binary_erosion(cells, structure=cross, border_value=0)
    for dy, dx in zip(*np.nonzero(cells & ~kept)):
        print(dx - 25, dy - 25, v)
