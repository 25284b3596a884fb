#!/usr/bin/python3
"""Reference values of the Fresnel running-sum tables, independent of the program.

Entry i of the tables is the left-rectangle sum h * sum_{k=0..i} f(k h) with
h = 1/10000 and f(u) = cos(pi u^2 / 2) (C) or sin(pi u^2 / 2) (S). By the
Euler-Maclaurin formula that sum equals the Fresnel integral up to X = i h plus
the end corrections:

  h/2 (f(0) + f(X)) + h^2/12 (f'(X) - f'(0)) - h^4/720 (f'''(X) - f'''(0))
  + h^6/30240 (f5(X) - f5(0))

(the odd derivatives of both integrands vanish at 0). The integrals come from
mpmath's fresnelc/fresnels, the derivatives from mpmath.diff.

Usage: fresnel_golden.py OUTPUT   (writes "index C S" lines)
"""
import random
import sys

import mpmath as mp

mp.mp.dps = 40
H = mp.mpf(1) / 10000
LAST = 2400000


def indices():
    chosen = set(range(0, 12)) | {99, 100, 101, 9999, 10000, 10001, 12172, 18725,
                                  LAST - 1, LAST}
    chosen |= {10 ** k for k in range(7)} | {2 * 10 ** 6}
    rng = random.Random(20261206)
    while len(chosen) < 300:
        chosen.add(rng.randint(0, LAST))
    return sorted(chosen)


def running_sum(fn, i):
    x = i * H
    f = lambda u: fn(mp.pi / 2 * u * u)
    integral = mp.fresnelc(x) if fn is mp.cos else mp.fresnels(x)
    total = integral + H / 2 * (f(0) + f(x))
    total += H ** 2 / 12 * mp.diff(f, x, 1)
    total -= H ** 4 / 720 * mp.diff(f, x, 3)
    total += H ** 6 / 30240 * mp.diff(f, x, 5)
    return total


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    lines = []
    for i in indices():
        c = running_sum(mp.cos, i)
        s = running_sum(mp.sin, i)
        lines.append("%d %s %s" % (i, mp.nstr(c, 25, strip_zeros=False),
                                   mp.nstr(s, 25, strip_zeros=False)))
    with open(sys.argv[1], "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
