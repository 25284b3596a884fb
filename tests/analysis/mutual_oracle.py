#!/usr/bin/python3
"""Independent references for the mutual-event tests.

average TABLE SIZE W TIME FIRST LAST COMPARE SINGLE
    Units of the table with numpy: one line per unit "h m second T C Ts Cs n s"
    (repr floats), then "listing" and the listing lines. FIRST/LAST are H:M:S,
    SINGLE is "-" without "Single object".
search DEGREE FIRST LAST WF WL < "unit x y" lines
    The best window of the window search by exact fits.
fit DEGREE < points
    Exact least squares with fractions: the normal equations of the points
    ("x y" per line, decimal texts taken exactly) solved by exact elimination;
    prints the coefficients c_0..c_d as repr floats.
"""
import sys
from decimal import Decimal, ROUND_HALF_UP
from fractions import Fraction

import numpy as np


def fixed(v, decimals):
    # The class library rounds the 18 significant digits half away from zero.
    d = Decimal(f"{v:.17e}").quantize(Decimal(1).scaleb(-decimals), rounding=ROUND_HALF_UP)
    s = f"{d:.{decimals}f}"
    return s[1:] if s.startswith("-") and float(d) == 0 else s


def clock(text):
    h, m, s = text.split(":")
    digits = lambda t: "".join(c for c in t if c.isdigit()) or "0"
    return int(digits(h)) * 3600 + int(digits(m)) * 60 + float(s or "0")


def average(path, size, w, time_setting, first, last, compare, single):
    lines = open(path, encoding="latin-1").read().splitlines()
    head = lines[0][1:] if lines[0].startswith('"') else lines[0]
    version = 2 if head.startswith("Tevorin File Format (for Ver.0.9.26 later)") else \
        1 if head.startswith("Tevorin File Format (for Ver.0.9.25 later)") else 0
    rows = [l.split(",") for l in lines[6 if version else 3:]]
    cell = lambda r, c: r[c - 1] if c - 1 < len(r) else ""
    target = np.array([float(cell(r, 11)) for r in rows])
    comp = np.full(len(rows), float(single)) if single != "-" else np.array([float(cell(r, 12)) for r in rows])
    if compare == 1:
        comp = comp + np.array([float(cell(r, 13)) for r in rows])
    elif compare == 2:
        target = target + np.array([float(cell(r, 13)) for r in rows])
    count = len(rows) // size
    T = target[: count * size].reshape(count, size).mean(axis=1)
    C = comp[: count * size].reshape(count, size).mean(axis=1)
    mid = max(size // 2, 1)
    frames = [(u * size + mid) for u in range(count)]  # 1-based frame numbers
    clocks = []
    if time_setting == 0:
        for u, f in enumerate(frames):
            r = rows[f - 1]
            h, m, s = int(cell(r, 4)), int(cell(r, 5)), float(cell(r, 7))
            if u >= 2 and s <= 0.02 and (h, m) == clocks[-1][:2]:
                m += 1
                if m == 60:
                    m, h = 0, (h + 1) % 24
            clocks.append((h, m, s))
    else:
        t1 = clock(first)
        rate = 29.97
        if time_setting == 2:
            t2 = clock(last)
            if t1 >= t2:
                t2 += 86400
            rate = (len(rows) - 1) / (t2 - t1)
        for f in frames:
            t = (f - 1) / rate + t1 if len(rows) > 1 or time_setting == 1 else t1
            h = int(t // 3600)
            m = int((t - 3600 * h) // 60)
            clocks.append((h, m, t - 3600 * h - 60 * m))
    cm = C.mean() if count else 0.0
    n = C / cm if cm != 0 else np.zeros(count)
    s = np.array([n[max(0, u - w): u + w + 1].mean() for u in range(count)])
    with np.errstate(divide="ignore", invalid="ignore"):
        Ts = np.where(s != 0, T / np.where(s != 0, s, 1), 777.0)
        Cs = np.where(s != 0, C / np.where(s != 0, s, 1), 777.0)
    listing = []
    for u in range(count):
        h, m, sec = clocks[u]
        print(h, m, repr(sec), *(repr(float(a[u])) for a in (T, C, Ts, Cs, n, s)))
        listing.append(f"{h:>2} {m:>2} {fixed(sec, 3):>6}," + ",".join(f"{fixed(a[u], 0):>8}" for a in (T, C, Ts, Cs))
                       + f",{fixed(n[u], 5):>10}")
    print("listing")
    for l in listing:
        print(l)


def solve(pts, degree):
    m = degree + 1
    s = [sum(x ** k for x, _ in pts) for k in range(2 * m - 1)]
    a = [[s[i + j] for j in range(m)] + [sum(y * x ** i for x, y in pts)] for i in range(m)]
    for c in range(m):
        p = next(r for r in range(c, m) if a[r][c] != 0)
        a[c], a[p] = a[p], a[c]
        for r in range(m):
            if r != c and a[r][c] != 0:
                f = a[r][c] / a[c][c]
                a[r] = [a[r][j] - f * a[c][j] for j in range(m + 1)]
    return [a[i][m] / a[i][i] for i in range(m)]


def fit(degree):
    pts = [tuple(Fraction(t) for t in l.split()) for l in sys.stdin if l.strip()]
    for c in solve(pts, degree):
        print(repr(float(c)))


def search(degree, first, last, wf, wl):
    """The window s..e (s <= first, e >= last) whose exact fit has the smallest
    sum of squares over first..last; points are "unit x y" lines."""
    pts = {int(l.split()[0]): tuple(Fraction(t) for t in l.split()[1:]) for l in sys.stdin if l.strip()}
    best = None
    for s in range(wf, first + 1):
        for e in range(last, wl + 1):
            c = solve([pts[u] for u in range(s, e + 1)], degree)
            sq = sum((sum(ck * pts[u][0] ** k for k, ck in enumerate(c)) - pts[u][1]) ** 2 for u in range(first, last + 1))
            if best is None or sq < best[0]:
                best = (sq, s, e)
    print(best[1], best[2])


if __name__ == "__main__":
    if sys.argv[1] == "average":
        p = sys.argv[2:]
        average(p[0], int(p[1]), int(p[2]), int(p[3]), p[4], p[5], int(p[6]), p[7])
    elif sys.argv[1] == "search":
        search(*map(int, sys.argv[2:7]))
    else:
        fit(int(sys.argv[2]))
