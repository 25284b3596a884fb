#!/usr/bin/python3
"""Reference noise reduction of a results table, written independently of the
program with numpy (moving sums by convolution, numpy.fft for the low-pass) and
pywt (one 'db2'-shaped level per step, with the window's 12-decimal filters as a
custom filter bank). Writes the input tables as CSV and the expected unrounded
plotted values per case.

    /usr/bin/python3 noise_oracle.py --out tests/data/analysis/noise_golden.txt \
        [--tables tests/data/analysis]
"""
import argparse
import math
import os

import numpy as np
import pywt

HEADER = ['Tevorin File Format (for Ver.0.9.26 later)', '"FileName : noise.avi"',
          '"Video System : NTSC , FrameRate=29.97"', '""', '""', '"No."']
H = [0.482962913145, 0.836516303738, 0.224143868042, -0.129409522551]
G = [H[3], -H[2], H[1], -H[0]]


def lcg(seed):
    x = seed
    while True:
        x = (1103515245 * x + 12345) % (1 << 31)
        yield x >> 8


def make_table(rows, seed, field=False, zero_q_every=0):
    """Three objects, format 2: S, B, P, Q integers; the plotted values are S."""
    r = lcg(seed)
    objs = []
    for j in range(3):
        S = np.array([20000 + 3000 * j + 800 * math.sin(i / 37.0 + j) + next(r) % 900 for i in range(rows)], dtype=np.int64)
        B = np.array([90 + 10 * j + next(r) % 40 for _ in range(rows)], dtype=np.int64)
        P = np.array([30 + next(r) % 25 for _ in range(rows)], dtype=np.int64)
        Q = np.array([80 + next(r) % 120 for _ in range(rows)], dtype=np.int64)
        if zero_q_every:
            Q[::zero_q_every] = 0
        objs.append((S, B, P, Q))
    lines = list(HEADER)
    for i in range(rows):
        frame = f'{i // 2 + 100}.{5 if i % 2 else 0}' if field else f'{i + 100}.0'
        cells = [frame, '""', '""', '', '', '', '', '', '', '']
        cells += [f'{objs[j][0][i]}.0' for j in range(3)] + ['2.5000'] * 3
        for j in range(3):
            S, B, P, Q = (a[i] for a in objs[j])
            cells += [str(S), str(B), str(P), str(Q), '3', '6', '10', '', '320', '240', '', '', '', '', '"OFF"', '', '']
        lines.append(','.join(cells) + ',')
    return lines, [tuple(a.astype(np.float64) for a in o) for o in objs]


def net(S, P, B, Q):
    Qs = np.where(Q == 0, 1.0, Q)
    return np.where(Q == 0, S, S - P * B / Qs)


def moving(v, w):
    if w == 0:
        return v.copy()
    n = len(v)
    sums = np.convolve(v, np.ones(2 * w + 1), mode='same')
    counts = np.convolve(np.ones(n), np.ones(2 * w + 1), mode='same')
    return sums / counts


def gaussian(v, w):
    weights = {0: [0, 0, 1, 0, 0], 1: [0, 0.369, 1, 0.369, 0], 2: [0.36, 0.775, 1, 0.775, 0.36]}[min(w, 2)]
    n = len(v)
    out = np.empty(n)
    for r in range(n):
        s = t = 0.0
        for i in range(max(0, r - 2), min(n - 1, r + 2) + 1):
            s += weights[i - r + 2] * v[i]
            t += weights[i - r + 2]
        out[r] = s / (t if t > 0 else 1)
    return out


def method_values(obj, method, w):
    S, B, P, Q = obj
    if method == 0:
        return net(moving(S, w), moving(P, w), moving(B, w), moving(Q, w))
    if method == 1:
        return net(S, P, moving(B, w), moving(Q, w))
    raw = net(S, P, B, Q)
    return gaussian(raw, w) if method == 2 else raw


def offset_of(last_row, n, o):
    if last_row < n - 1:
        return int((last_row - (n - 1)) / 2)
    return min(o, last_row - (n - 1))


def transform_input(v, n, o):
    """Rows at index i - o; the first and last values repeated beyond the table."""
    idx = np.clip(np.arange(n) + o, 0, len(v) - 1)
    return v[idx]


def fft_filter(v, n, o, lo=None, hi=None, band=False, outside=False, spot=None, cutoff=100):
    X = np.fft.fft(transform_input(v, n, o)) / n
    if not band:
        lo, hi = cutoff, n - 1 - cutoff
    keep = np.ones(n, bool)
    if not outside:
        keep[lo:hi + 1] = False
    else:
        keep[:max(lo, 1)] = False
        keep[hi + 1:] = False
    if spot:
        a, b = spot
        keep[a:b + 1] = False
        keep[n - 1 - b:n - a] = False
    return np.real(np.fft.ifft(np.where(keep, X, 0)) * n)


def wavelet_filter(v, o, sigma_rows, factor):
    bank = pywt.Wavelet('window-d4', filter_bank=[H[::-1], G[::-1], H, G])
    c = transform_input(v, 1024, o)
    details = []
    for _ in range(10):
        a, d = pywt.dwt(np.roll(c, -1), bank, mode='periodization')
        details.append(d)
        c = a
    a0, a1 = sigma_rows
    sigma = np.std(v[a0:a1 + 1])
    t = sigma * math.sqrt(2 * math.log(1024)) * factor / 100
    c = np.where(np.abs(c) < t, 0, c)
    for d in reversed(details):
        d = np.where(np.abs(d) < t, 0, d)
        c = np.roll(pywt.idwt(c, d, bank, mode='periodization'), 1)
    return c, sigma, t


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--out', required=True)
    ap.add_argument('--tables')
    args = ap.parse_args()
    long_lines, long_objs = make_table(600, 7, zero_q_every=97)
    short_lines, short_objs = make_table(100, 11)
    if args.tables:
        for name, lines in (('noise_long.csv', long_lines), ('noise_short.csv', short_lines)):
            with open(os.path.join(args.tables, name), 'w', newline='') as f:
                f.write('\r\n'.join(lines) + '\r\n')
    out = []

    def emit(name, table, values, extra=()):
        out.append(f'case {name} {table}')
        for key, v in values:
            out.append(key + ' ' + ' '.join(f'{x:.6f}' for x in v))
        out.extend(extra)

    for m, widths in ((0, (0, 3, 50)), (1, (2, 5, 0)), (2, (0, 1, 7))):
        emit(f'method{m}', 'long', [(k, method_values(long_objs[j], m, widths[j])) for j, k in enumerate('abc')])
    # FFT low-pass of object A on the long table (offset 200 clamps to 88) and the short one (centred).
    raw_long = method_values(long_objs[0], 3, 0)
    raw_short = method_values(short_objs[0], 3, 0)
    cases = [
        ('lowpass', 'long', raw_long, 512, 200, {}),
        ('centred', 'short', raw_short, 512, 0, {'cutoff': 30}),
        ('inside', 'long', raw_long, 512, 0, {'band': True, 'lo': 5, 'hi': 40}),
        ('outside', 'long', raw_long, 512, 0, {'band': True, 'lo': 3, 'hi': 60, 'outside': True}),
        ('spot', 'long', raw_long, 512, 0, {'cutoff': 200, 'spot': (10, 20)}),
    ]
    for name, table, v, n, o_in, kw in cases:
        o = offset_of(len(v) - 1, n, o_in)
        y = fft_filter(v, n, o, **kw)
        rows = [i for i in range(len(v)) if 0 <= i - o <= n - 1]
        emit(name, table, [('a', [y[i - o] for i in rows]), ('rows', rows)], [f'offset {o}'])
    for factor in (70, 0, 150):
        o = offset_of(599, 1024, 0)
        y, sigma, t = wavelet_filter(raw_long, o, (0, 100), factor)
        emit(f'wavelet{factor}', 'long', [('a', [y[i - o] for i in range(600)])], [f'offset {o}', f'sigma {sigma:.10f}',
                                                                                  f'threshold {t:.10f}'])
    with open(args.out, 'w') as f:
        f.write('\n'.join(out) + '\n')


if __name__ == '__main__':
    main()
