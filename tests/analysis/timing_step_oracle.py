# numpy model of the step batch: N runs (first argument) for each noise level that
# follows of a step (0 before, 1 - u at sample 0, 1 after) plus Gaussian noise,
# fitted with the one-frame rise over shifts -500..500 (0.01 frame); prints the RMS
# error per level. Its own random numbers: compare statistically.
import sys
import numpy as np

rng = np.random.default_rng(20240)
s = np.arange(-500, 501)[:, None]
p = 100 * np.arange(-100, 101)[None, :]
model = np.where(p < s - 50, 0.0, np.where(p < s + 50, (p + 50 - s) / 100.0, 1.0))
n = int(sys.argv[1])
for arg in sys.argv[2:]:
    noise = float(arg)
    u = rng.random(n)
    clean = np.tile(np.where(np.arange(-100, 101) < 0, 0.0, 1.0), (n, 1))
    clean[:, 100] = 1 - u
    y = clean + rng.normal(0, noise, clean.shape)
    # ||y - m||^2 = y.y - 2 y.m + m.m
    ssr = (y * y).sum(1)[:, None] - 2 * y @ model.T + (model * model).sum(1)[None, :]
    found = s[np.argmin(ssr, axis=1), 0]
    err = found / 100.0 - (u - 0.5)
    print(repr(float(np.sqrt((err * err).mean()))))
