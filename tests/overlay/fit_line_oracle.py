#!/usr/bin/python3
"""`tevorin-probe fit-line` against scipy.stats.linregress: slope, intercept and
0.6745 times their standard errors, on random point sets.

  fit_line_oracle.py PROBE

The probe prints 12 significant digits of long-double sums; linregress works in
double. Relative agreement to 1e-9 is far inside what 12 printed digits and double
sums of at most 30 points of size ~1e3 allow (about 1e-11), and far outside what a
slip (a wrong n - 2, a swapped sum) would give.
"""
import subprocess
import sys

import numpy as np
from scipy import stats


def close(a, b, rel=1e-9, abs_=1e-9):
    return abs(a - b) <= max(abs_, rel * max(abs(a), abs(b)))


def main(argv):
    probe = argv[0]
    rng = np.random.default_rng(11)
    failures = 0
    for case in range(40):
        n = int(rng.integers(3, 30))
        c = np.sort(rng.choice(np.arange(-12, 30), size=n, replace=False)).astype(float)
        x = 82.0 + 24.1 * c + rng.normal(0, rng.uniform(0.05, 3.0), n)
        out = subprocess.run([probe, "fit-line"] + ["%g,%.10f" % (ci, xi) for ci, xi in zip(c, x)],
                             capture_output=True, text=True, check=True).stdout.split()
        got = {k: float(v) for k, v in (t.split("=") for t in out)}
        r = stats.linregress(c, x)
        want = {"a": r.intercept, "b": r.slope, "ea": 0.6745 * r.intercept_stderr, "eb": 0.6745 * r.stderr}
        for k in want:
            if not close(got[k], want[k]):
                failures += 1
                print("case %d %s: probe %r scipy %r" % (case, k, got[k], want[k]))
    # Hand-worked: (0, 88), (1, 112), (3, 160) lie on x = 88 + 24 c.
    out = subprocess.run([probe, "fit-line", "0,88", "1,112", "3,160"], capture_output=True, text=True).stdout.strip()
    if out != "a=88 b=24 ea=0 eb=0":
        failures += 1
        print("exact line: %s" % out)
    # Two points: the line through them, no errors. One point or one cell: no line.
    out = subprocess.run([probe, "fit-line", "2,100", "4,150"], capture_output=True, text=True).stdout.strip()
    if out != "a=50 b=25 ea=0 eb=0":
        failures += 1
        print("two points: %s" % out)
    for args in (["1,100"], ["3,100", "3,104"], []):
        run = subprocess.run([probe, "fit-line"] + args, capture_output=True, text=True)
        if run.returncode == 0:
            failures += 1
            print("fit-line %s should fail: %s" % (args, run.stdout))
    print("%d failures" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
