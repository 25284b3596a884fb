#!/usr/bin/python3
"""Velocity calculator results in 50-digit arithmetic (mpmath).

Prints "kind inputs... expected" lines; expected is "either:A:B" when the exact
value lies within 1e-9 of a rounding boundary (floating point may go either way).
Asteroid rows include inputs whose quotient is exactly n + 0.5 in decimal and in
binary floating point, where halves go to the even neighbour.
"""
import random
from mpmath import mp, mpf, pi, cos, fabs, floor

mp.dps = 50
random.seed(34)


def half_even(v):
    f = floor(v)
    d = v - f
    if d > mpf('0.5'):
        return int(f) + 1
    if d < mpf('0.5'):
        return int(f)
    return int(f) + (int(f) % 2)


def half_away(v):
    return int(floor(fabs(v) + mpf('0.5'))) * (1 if v >= 0 else -1)


def emit(kind, inputs, v, rounding):
    frac = v - floor(v)
    if abs(frac - mpf('0.5')) < mpf('1e-9') and not (kind == 'asteroid' and frac == mpf('0.5')):
        print(kind, *inputs, 'either:%d:%d' % (int(floor(v)), int(floor(v)) + 1))
    else:
        print(kind, *inputs, rounding(v))


for _ in range(40):
    f = '%.2f' % random.uniform(0.05, 3.0)
    emit('lunar', [f], mpf(f) / 60 * 1738000 * pi / 180, half_even)
for _ in range(40):
    d, t = '%d' % random.randint(1, 1000), '%.1f' % random.uniform(0.1, 30)
    emit('asteroid', [d, t], mpf(d) / mpf(t) * 1000, half_even)
# Exact halves: 0.001/2*1000 = 0.5 -> 0, 0.003/2*1000 = 1.5 -> 2, 0.005/2*1000 = 2.5 -> 2.
for d in ['0.001', '0.003', '0.005', '0.007', '0.009']:
    emit('asteroid', [d, '2'], mpf(d) / 2 * 1000, half_even)
for _ in range(40):
    p = '%.3f' % random.uniform(0.01, 20)
    emit('parallax', [p], mpf('6378.137') / (mpf(p) * pi / 180 / 3600), half_even)
for _ in range(60):
    m, d = '%.3f' % random.uniform(0.05, 2), '%d' % random.randint(350000, 420000)
    c = random.choice(['%.1f' % random.uniform(0, 999.9), '%d' % random.randint(0, 999)])
    cv = fabs(mpf(c))
    if cv >= 540:
        cv -= 360
    if cv > 180:
        cv = fabs(360 - cv)
    k = fabs(cos(cv * pi / 180))
    v = mpf(700) if k < mpf('1e-12') else mpf(m) * int(d) * 1000 * pi / (k * 180 * 3600)
    emit('motion', [m, d, c], v, half_away)
