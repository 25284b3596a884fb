# Light curves of an occultation from scipy's Fresnel integrals, written as a
# results file (format 2, object A's value in column 11), for the fit tests.
#
# The knife-edge intensity is 0.5 ((C(v) + 1/2)^2 + (S(v) + 1/2)^2) with
# v = sqrt(2 / (lambda D)) x (distance travelled by the shadow), summed over
# 400..800 nm in 5 nm steps with Planck x air x (flat camera) weights, averaged
# over the exposure's millisecond sub-samples, optionally over the star's disc
# (101 chord-weighted strips) and for a second component.
#
# usage: diffraction_oracle.py OUT.csv [--fps F] [--field] [--rows N] [--row R]
#        [--event-ms T] [--disappearance] [--rate P] [--double H MS]
#        [--diameter MAS] [--distance M] [--velocity V] [--temperature K]
#        [--lower L] [--upper U] [--noise SD] [--seed S] [--empty-line K]
import argparse
import numpy as np
from scipy.special import fresnel

ap = argparse.ArgumentParser()
ap.add_argument("out")
ap.add_argument("--fps", type=float, default=29.97)
ap.add_argument("--field", action="store_true")
ap.add_argument("--rows", type=int, default=121)
ap.add_argument("--row", type=int, default=60)
ap.add_argument("--event-ms", type=float, default=0.0)
ap.add_argument("--disappearance", action="store_true")
ap.add_argument("--rate", type=float, default=1.0)
ap.add_argument("--double", type=float, nargs=2, default=None)
ap.add_argument("--diameter", type=float, default=0.0)
ap.add_argument("--distance", type=float, default=384401000.0)
ap.add_argument("--velocity", type=float, default=700.0)
ap.add_argument("--temperature", type=float, default=6650.0)
ap.add_argument("--lower", type=float, default=100.0)
ap.add_argument("--upper", type=float, default=1100.0)
ap.add_argument("--noise", type=float, default=0.0)
ap.add_argument("--seed", type=int, default=0)
ap.add_argument("--copies", type=int, default=0)  # OUT-1 .. OUT-N.csv with seeds 1..N
a = ap.parse_args()

lam = np.arange(400, 801, 5, dtype=float)  # nm

# Planck spectrum (any constant factor cancels in the normalised weights).
T = a.temperature
planck = lam ** -5.0 / np.expm1(1.43e7 / (lam * T) * 1.0)
# The air's transmission: the program's local cubic through its knots (the
# segment 600-650 nm extrapolated above 650 nm), evaluated here from the knots.
K = np.array([340, 360, 380, 400, 450, 500, 550, 600, 650, 700], float)
Y = np.array([0.49, 0.51, 0.58, 0.63, 0.73, 0.79, 0.82, 0.84, 0.88, 0.911])


def air(l):
    j = min(int(np.searchsorted(K, l)), 8)
    x0, x1, x2, x3 = K[j - 2:j + 2]
    y0, y1, y2, y3 = Y[j - 2:j + 2]
    h0, h1, h2 = x1 - x0, x2 - x1, x3 - x2
    d0, d1, d2 = (y1 - y0) / h0, (y2 - y1) / h1, (y3 - y2) / h2
    m1, m2 = (d1 - d0) / (x2 - x0), (d2 - d1) / (x3 - x1)
    return ((x2 - l) ** 3 * m1 / (6 * h1) + (l - x1) ** 3 * m2 / (6 * h1)
            + (y1 / h1 - h1 * m1 / 6) * (x2 - l) + (y2 / h1 - h1 * m2 / 6) * (l - x1))


w = planck / planck.max() * np.array([air(l) for l in lam])
w /= w.sum()
scale = np.sqrt(2.0 / (lam * 1e-9 * a.distance)) * a.velocity  # Fresnel v per second


def spectral(t):
    """Intensity at times t (s, positive lit), summed over the wavelengths."""
    v = np.multiply.outer(t, scale)
    S, C = fresnel(v)
    return (0.5 * ((C + 0.5) ** 2 + (S + 0.5) ** 2)) @ w


def disc(t):
    if a.diameter <= 0:
        return spectral(t)
    radius_ms = a.diameter * 0.5 * np.pi * a.distance / (a.velocity * 648000.0)
    k = np.arange(-50, 51, dtype=float)
    weight = np.sqrt(2500.0 - k * k) * 2 / (2500.0 * np.pi)
    return spectral(np.add.outer(t, k * radius_ms / 50 / 1000)) @ weight


m = (9 if a.field else 19) if a.fps == 25.0 else (8 if a.field else 16)
sub = np.arange(-m, m + 1) / 1000.0
sign = -1.0 if a.disappearance else 1.0
k = np.arange(a.rows) - a.row
Trow = k / a.fps * (0.5 if a.field else 1.0) - a.event_ms / 1000.0
tt = np.add.outer(Trow, sub)
I = disc(tt * sign * a.rate)
if a.double is not None:
    h, D = a.double
    D = -D if a.disappearance else D
    I = (h * disc((tt + D / 1000.0) * sign * a.rate) + (1000 - h) * I) / 1000
mean = I.mean(axis=1)
clean = a.lower + (a.upper - a.lower) * mean


def write(path, seed):
    vals = clean
    if a.noise > 0:
        vals = vals + np.random.default_rng(seed).normal(0, a.noise, a.rows)
    out = ["Tevorin File Format (for Ver.0.9.26 later)", "oracle.avi", "NTSC", "h1", "h2", "h3"]
    for i, v in enumerate(vals):
        label = f"{i // 2}.{5 if i % 2 else 0}" if a.field else f"{i}.0"
        # 40 fields: enough columns for the results loader (one object).
        out.append(label + "," * 10 + repr(float(v)) + "," * 30)
    with open(path, "w") as f:
        f.write("\r\n".join(out) + "\r\n")


if a.copies:
    for seed in range(1, a.copies + 1):
        write(a.out[:-4] + f"-{seed}.csv", seed)
else:
    write(a.out, a.seed)
