#!/usr/bin/python3
"""Reference Fresnel running sums h * sum_{k=0..i} f(k h), h = 1/10000, f(u) = cos or
sin(pi u^2 / 2): mpmath's Fresnel integral up to X = i h plus the Euler-Maclaurin end
corrections h/2 (f(0) + f(X)) + h^2/12 f'(X) - h^4/720 f'''(X) + h^6/30240 f5(X)
(odd derivatives vanish at 0).  Usage: fresnel_golden.py OUTPUT  ("index C S" lines)"""
import random
import sys

import mpmath as mp

mp.mp.dps = 40
H, LAST = mp.mpf(1) / 10000, 2400000


def running_sum(fn, integral, i):
    x, f = i * H, (lambda u: fn(mp.pi / 2 * u * u))
    return (integral(x) + H / 2 * (f(0) + f(x)) + H ** 2 / 12 * mp.diff(f, x, 1)
            - H ** 4 / 720 * mp.diff(f, x, 3) + H ** 6 / 30240 * mp.diff(f, x, 5))


chosen = set(range(12)) | {99, 100, 101, 9999, 10000, 10001, 12172, 18725, LAST - 1, LAST, 2 * 10 ** 6}
chosen |= {10 ** k for k in range(7)}
rng = random.Random(20261206)
while len(chosen) < 300:
    chosen.add(rng.randint(0, LAST))
with open(sys.argv[1], "w") as out:
    for i in sorted(chosen):
        out.write("%d %s %s\n" % (i, mp.nstr(running_sum(mp.cos, mp.fresnelc, i), 25, strip_zeros=False),
                                  mp.nstr(running_sum(mp.sin, mp.fresnels, i), 25, strip_zeros=False)))
