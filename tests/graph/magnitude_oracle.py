#!/usr/bin/python3
"""Independent oracle of the magnitude calculator's memo.

Takes the options of `tevorin-probe magnitude-report` and prints the memo lines
the calculator should show, computed from the templates with Python floats and
decimal rounding (halves away from zero, as the program prints numbers).
"""
import math
import sys
from decimal import Decimal, ROUND_HALF_UP

LOW = [0.000861085973516832, 0.262693911737246, 10.6156500352604, -62.1345811519649,
       156.572146985533, -57.7858223341369, -108.758169727983]
HIGH = [0.0305187343200233, -0.508930499520982, 7.51029253431152, -4.90320241926873,
        4.65091487833908, -1.57333176862108, -0.00573391971885274]
DELAY = [33, 42, 75, 141, 275, 542, 1076, 2144]


def poly(c, x):
    return sum(c[i] * x ** i for i in range(7))


def timing_error(x):
    if x <= 0.5:
        return poly(LOW, x)
    # Past its top the high polynomial is held at the top.
    top = max((1.5 + i / 100000.0 for i in range(80000)), key=lambda t: poly(HIGH, t))
    return poly(HIGH, min(x, top))


def fixed(v, d):
    q = Decimal(repr(v)).quantize(Decimal(1).scaleb(-d), rounding=ROUND_HALF_UP)
    s = format(q, 'f')
    if q == 0 and s.startswith('-'):
        s = s[1:]
    return s


def general(v):
    s = repr(float(v))
    if s.endswith('.0'):
        s = s[:-2]
    return s


def place(line, col, value):
    """Right-align value to end at 1-based col, filling only blanks."""
    chars = list(line)
    while len(chars) < col:
        chars.append(' ')
    end = col - 1
    start = end - len(value) + 1
    lo = end
    while lo > 0 and chars[lo - 1] == ' ':
        lo -= 1
    first = 0 if lo == 0 else lo + 1
    start = max(start, first)
    for i, ch in enumerate(value):
        at = start + i
        if at >= len(chars):
            chars.append(ch)
        elif chars[at] == ' ':
            chars[at] = ch
        else:
            chars.insert(at, ch)
    return ''.join(chars)


def clock(ms, digits):
    unit = 10 ** (3 - digits)
    n = int((Decimal(repr(ms)) / unit).quantize(Decimal(1), rounding=ROUND_HALF_UP))
    t = (n * unit) % 86400000
    h, rest = divmod(t, 3600000)
    m, rest = divmod(rest, 60000)
    s, frac = divmod(rest, 1000)
    return '%02dh%02dm%02d.%0*ds' % (h, m, s, digits, frac // unit)


def main(argv):
    o = {'pair': 0.0, 'camera': 'wat100n', 'integration': 0, 'step': False, 'field': 1,
         'time': None, 'fit': None, 'digits': 3, 'inserter': None, 'report': False}
    i = 0
    while i < len(argv):
        a = argv[i]
        if a in ('--levels', '--stderr', '--counts'):
            o[a[2:]] = [float(x) for x in argv[i + 1:i + 4]]
            i += 4
        elif a == '--time':
            o['time'] = argv[i + 1:i + 7]
            i += 7
        elif a == '--fit':
            o['fit'] = [argv[i + 1]]
            i += 2
            if i < len(argv) and not argv[i].startswith('--'):
                o['fit'].append(argv[i])
                i += 1
        elif a in ('--step-height', '--report'):
            o['step' if a == '--step-height' else 'report'] = True
            i += 1
        elif a == '--camera':
            o['camera'] = argv[i + 1]
            i += 2
        else:
            key = a[2:]
            o[key] = float(argv[i + 1]) if key == 'pair' else int(argv[i + 1])
            i += 2

    B, S, A = o['levels']
    eB, eS, eA = o['stderr']
    nB, nS, nA = [int(x) for x in o['counts']]
    comb, first, second = abs(B - A), abs(B - S), abs(S - A)
    ecomb, efirst, esecond = eB + eA, eB + eS, eS + eA
    sdB, sdS, sdA = eB * math.sqrt(nB), eS * math.sqrt(nS), eA * math.sqrt(nA)
    fades = B >= A

    def lg(x):
        return math.log(x) / math.log(2.512)

    def mag(drop):
        if drop <= 0:
            return '---'
        if comb <= 0:
            return '---'
        m = o['pair'] + lg(comb / drop)
        return '---' if m <= -10 else fixed(m, 2)

    def magerr(drop, err):
        if drop <= 0 or comb <= 0:
            return '---'
        return fixed(abs(lg(1 + math.sqrt((err / drop) ** 2 + (ecomb / comb) ** 2))), 2)

    out = ["- Estimation for Component's Magnitude --",
           place('Assuming magnitude of Pair is       Mag.', 36, fixed(o['pair'], 2)),
           'Estimated Magnitude',
           place(place('  First Event  :       +/-       Mag.', 23, mag(first)), 32, magerr(first, efirst)),
           place(place('  Second Event :       +/-       Mag.', 23, mag(second)), 32, magerr(second, esecond)),
           '-Statistical analysis of Light Intensity-',
           '               Average   Stdv      n']

    def row(t, mean, sd, n):
        return place(place(place(t, 22, fixed(mean, 1)), 31, fixed(sd, 1)), 38, str(n))

    hi, lo = max(B, A), min(B, A)
    out.append(row('  Combined  :                          ', hi, sdB if fades else sdA, nB if fades else nA))
    if nS > 1:
        out.append(row('  Step      :                          ', S, sdS, nS))
    out.append(row('  Background:                         ', lo, sdA if fades else sdB, nA if fades else nB))
    out.append('Noise Level (N/S)  Upper    Lower')
    pairs = [(first, (sdB, sdS) if fades else (sdS, sdB)),
             (second, (sdS, sdA) if fades else (sdA, sdS)),
             (comb, (sdB, sdA) if fades else (sdA, sdB))]
    names = ['  First event:                         ', '  Second event:                         ',
             '  Total event:                         ']
    total = (-1, -1)
    for name, (drop, (u, l)) in zip(names, pairs):
        if drop > 0:
            out.append(place(place(name, 26, fixed(u / drop, 4)), 35, fixed(l / drop, 4)))
            total = (u / drop, l / drop)
        else:
            out.append(place(place(name, 26, '---'), 35, '---'))
            total = (-1, -1)
    x = max(total)
    if x == -1:
        out.append('Value contains two object is zero or minus. Calculation is not possible.')
    elif o['camera'] != 'off':
        p = o['integration']
        N = 0 if p == 0 else 2 ** (p - 1)
        D = DELAY[p]
        out += ['', '- Event Time ------------------------------', 'Observed with %d frame integration.' % N]
        base = [0, 0, 0.0], [0, 0, 0.0]
        if o['time']:
            t = o['time']
            for k, target in enumerate(base):
                h, m, s = t[3 * k:3 * k + 3]
                if h.isdigit() and int(h) < 25:
                    target[0] = int(h)
                if m.isdigit() and int(m) < 61:
                    target[1] = int(m)
                sv = float(s)
                if o['inserter'] is not None:
                    d = 4 if o['inserter'] == 0 else 3 if o['inserter'] <= 2 else 2
                    sv = float(fixed(sv, d))
                if 0 <= sv <= 60:
                    target[2] = sv
        bt = base[1] if o['field'] == 2 else base[0]
        T0 = bt[0] * 3600000 + bt[1] * 60000 + bt[2] * 1000
        offs = []
        if o['fit']:
            offs = [float(v) for v in o['fit']]
        times = [T0 + offs[0]] if offs else [T0]
        if len(offs) > 1:
            times.append(T0 + offs[1])
        if hi - lo <= 0:
            out += ['', 'The result means that background is brighter than star. Set the range correctly for step measurement.']
        elif o['step'] and S - lo <= 0:
            out += ['', 'The result of calculation indicates that background is brighter than step. Set the range correctly for step measurement.']
        else:
            r = (S - lo) / (hi - lo)
            part = r if B > A else 1 - r
            if o['camera'] == '120n':
                times = [t + (N * part / 29.97 * 1000 if o['step'] else 0) - D for t in times]
            elif o['step']:
                times = [t + part / 29.97 * 1000 for t in times]
            err = timing_error(x)
            err = err * N / 29.97 if o['camera'] == '120n' and N >= 1 else err / 29.97
            # Without a time (no --time) no clock time: one line saying so.
            if not o['time']:
                out.append('Event Time : (the rows hold no time stamp)  +/- ' + fixed(err, 3) + 's')
            for t in sorted(times) if o['time'] else []:
                out.append('Event Time : ' + clock(t, o['digits']) + '  +/- ' + fixed(err, 3) + 's')
            if o['step']:
                out.append('Correction for step integration is applied.')
            out += ['', 'Deriving process is :']
            To = '%dh%dm%ss' % (bt[0], bt[1], general(bt[2])) if o['time'] else 'To'
            off = ''
            if offs:
                off = fixed(offs[0] / 1000, 3)
                off = off if off.startswith('-') else '+' + off
            Dt = fixed(D / 1000, 3)
            if o['step']:
                nums = fixed(S - lo, 1) + '/' + fixed(comb, 1)
                if B > A:
                    out += ['T = To + (Step/Combined) * (Integration) / 29.97', '       - (Delay correction)',
                            '  = ' + To + '+(' + nums + ')*' + str(N) + '/29.97-' + Dt]
                else:
                    out += ['T = To + {1-(Step/Combined)} * (Integration) / 29.97', '    - (Delay correction)',
                            '  = ' + To + '+{1-(' + nums + ')}*' + str(N) + '/29.97-' + Dt]
            elif o['camera'] == '120n':
                out += ['T = To + Offset - Delay correction' if offs else 'T = To - Delay correction',
                        '  = ' + To + off + '-' + Dt]
            else:
                out += ['T = To + Offset' if offs else 'T = To', '  = ' + To + off]
    if o['report']:
        out += ['%d %s' % (i, fixed(timing_error(i / 10), 4)) for i in range(15)]
    print('\n'.join(out))


if __name__ == '__main__':
    main(sys.argv[1:])
