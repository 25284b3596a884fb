#!/usr/bin/python3
"""References for the FFT and the D4 wavelet: exact DFTs by mpmath at 40 digits
(N = 2 .. 256), numpy.fft at N = 1024, and pywt 'db2' with periodization (one
level on the input rotated left by one, as the program indexes x[(2i + k) mod n];
ten levels level by level). Inputs are integers / 1024 from a fixed generator, so
they are exact in every precision.

    /usr/bin/python3 fft_oracle.py --out tests/data/analysis/fft_golden.txt
"""
import argparse

import mpmath
import numpy as np
import pywt

mpmath.mp.dps = 40


def inputs(n, seed):
    out, x = [], seed
    for _ in range(2 * n):
        x = (1103515245 * x + 12345) % (1 << 31)
        out.append(((x >> 8) % (1 << 21) - (1 << 20)) / 1024)
    return np.array(out[:n]), np.array(out[n:])


def exact_dft(re, im):
    n = len(re)
    xs = [mpmath.mpc(a, b) for a, b in zip(re, im)]
    out = []
    for k in range(n):
        s = mpmath.mpc(0)
        for j, x in enumerate(xs):
            s += x * mpmath.expjpi(mpmath.mpf(-2 * ((k * j) % n)) / n)
        out.append(s / n)
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--out', required=True)
    args = ap.parse_args()
    lines = []
    n = 2
    while n <= 256:
        re, im = inputs(n, n)
        lines.append(f'exact {n}')
        lines.append('re ' + ' '.join(repr(float(v)) for v in re))
        lines.append('im ' + ' '.join(repr(float(v)) for v in im))
        out = exact_dft(re, im)
        lines.append('out_re ' + ' '.join(mpmath.nstr(v.real, 25) for v in out))
        lines.append('out_im ' + ' '.join(mpmath.nstr(v.imag, 25) for v in out))
        n *= 2
    re, im = inputs(1024, 1024)
    out = np.fft.fft(re + 1j * im) / 1024
    lines.append('numpy 1024')
    lines.append('out_re ' + ' '.join(f'{v:.17g}' for v in out.real))
    lines.append('out_im ' + ' '.join(f'{v:.17g}' for v in out.imag))
    for n in (8, 64, 1024):
        x, _ = inputs(n, 7 * n)
        a, d = pywt.dwt(np.roll(x, -1), 'db2', mode='periodization')
        lines.append(f'dwt1 {n}')
        lines.append('x ' + ' '.join(repr(float(v)) for v in x))
        lines.append('a ' + ' '.join(f'{v:.17g}' for v in a))
        lines.append('d ' + ' '.join(f'{v:.17g}' for v in d))
        back = np.roll(pywt.idwt(a, d, 'db2', mode='periodization'), 1)
        lines.append('back ' + ' '.join(f'{v:.17g}' for v in back))
    x, _ = inputs(1024, 99)
    c, details = x, []
    for _ in range(10):
        c, d = pywt.dwt(np.roll(c, -1), 'db2', mode='periodization')
        details.append(d)
    mallat = np.concatenate([c] + details[::-1])
    lines.append('dwt10 1024')
    lines.append('x ' + ' '.join(repr(float(v)) for v in x))
    lines.append('mallat ' + ' '.join(f'{v:.17g}' for v in mallat))
    with open(args.out, 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
