#!/usr/bin/python3
"""Independent references for the absorption correction and the asteroid timing guide.

correct TABLE ROW      per data row: "row FIELD11 FIELD12 TIE" of the corrected table
                       (exact decimal arithmetic; TIE 1 when the exact value lies within
                       1e-9 of a rounding half, where binary arithmetic may round either way)
blocks TABLE N OFFSET  per kept row: "row MEAN" (numpy mean of field 11, unreadable = 0)
jumps TABLE N          the jump table's rows and signed jumps after a stable sort
distance P             the distance in km for parallax P (mpmath, 50 digits, half away)
"""
import sys
from decimal import Decimal, getcontext, ROUND_HALF_UP, ROUND_FLOOR, InvalidOperation

getcontext().prec = 60


def read(path):
    with open(path, newline='') as f:
        text = f.read()
    return text.replace('\r\n', '\n').replace('\r', '\n').split('\n')[:-1] if text.endswith(('\n', '\r')) else \
        text.replace('\r\n', '\n').replace('\r', '\n').split('\n')


def field(line, n):
    cells = line.split(',')
    return cells[n - 1] if n - 1 < len(cells) else ''


def fixed(v, prec, digits):
    """The class library's fixed format, rounded half away from zero; also returns the tie flag."""
    if v == 0:
        return '0.' + '0' * digits if digits else '0', False
    neg = v < 0
    a = abs(v)
    e = a.adjusted() + 1  # digits before the point
    keep = min(prec, e + digits)
    step = Decimal(1).scaleb(e - keep)
    scaled = a / step
    frac = scaled - scaled.to_integral_value(rounding=ROUND_FLOOR)
    tie = abs(frac - Decimal('0.5')) < Decimal('1e-9')
    q = (scaled.to_integral_value(rounding=ROUND_HALF_UP) * step)
    if q == 0:
        return '0.' + '0' * digits if digits else '0', tie
    if q.adjusted() + 1 > prec:
        ds = str(q.scaleb(-q.adjusted()).normalize())  # d.ddd
        mant = ds.replace('.', '')
        mant = mant.rstrip('0') or '0'
        text = mant[0] + ('.' + mant[1:] if len(mant) > 1 else '') + 'E' + str(q.adjusted())
    else:
        text = format(q, '.%df' % digits)
    return ('-' if neg else '') + text, tie


def correct(path, row):
    lines = read(path)
    data = lines[6:]
    cref = Decimal(field(data[row], 12))
    for r, line in enumerate(data):
        c = field(line, 12)
        if not line or not c.strip() or Decimal(c) == 0:
            print(r, field(line, 11), c if c else '-', 0)
            continue
        t = Decimal(field(line, 11))
        v, tie = fixed(t * cref / Decimal(c), 6, 1)
        ref, tie2 = fixed(cref, 6, 1)
        print(r, v, ref, int(tie or tie2))


def value(text):
    try:
        return float(Decimal(text.strip()))
    except InvalidOperation:
        return 0.0


def blocks(path, n, offset):
    import numpy as np
    lines = read(path)
    data = lines[6:]
    values = np.array([value(field(l, 11)) for l in data], dtype=np.float64)
    last = len(data) - 1
    h = n // 2
    for r in range(len(data)):
        if (r - offset) % n != 0 or r < offset:
            continue
        lo, hi = (r, r) if h == 0 else (max(0, r - h + 1), min(last, r + h))
        print(r, repr(float(np.mean(values[lo:hi + 1]))))


def jumps(path, n):
    import numpy as np
    data = read(path)[6:]
    n = min(n, 1000, len(data) - 1)
    values = np.array([value(field(l, 11)) for l in data[:n + 1]], dtype=np.float64)
    signed = np.zeros(n + 1)
    signed[1:] = values[1:] - values[:-1]
    order = np.argsort(np.abs(signed), kind='stable')
    for k in order:
        print(int(k), repr(float(signed[k])))


def distance(p):
    import mpmath
    mpmath.mp.dps = 50
    d = mpmath.mpf('6378.137') / (mpmath.mpf(p) * mpmath.pi / 648000)
    r = mpmath.floor(abs(d) + mpmath.mpf('0.5'))
    print(int(r if d >= 0 else -r))


if __name__ == '__main__':
    cmd = sys.argv[1]
    if cmd == 'correct':
        correct(sys.argv[2], int(sys.argv[3]))
    elif cmd == 'blocks':
        blocks(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif cmd == 'jumps':
        jumps(sys.argv[2], int(sys.argv[3]))
    elif cmd == 'distance':
        distance(sys.argv[2])
