# Brute-force least-squares shift with numpy: reads 201 samples (i = -100..100) per
# line, prints "found S" for each (the first smallest sum over s = -7000..7000).
import sys
import numpy as np

s = np.arange(-7000, 7001, dtype=np.int64)[:, None]
p = 100 * np.arange(-100, 101, dtype=np.int64)[None, :]
model = np.where(p < s - 50, 0.0, np.where(p < s + 50, (p + 50 - s) / 100.0, 1.0))
for line in sys.stdin:
    y = np.array([float(v) for v in line.split()])
    ssr = ((y[None, :] - model) ** 2).sum(axis=1)
    k = int(np.argmin(ssr))
    second = np.partition(ssr, 1)[1]
    print("found", int(s[k, 0]), repr(float(ssr[k])), repr(float(second - ssr[k])))
