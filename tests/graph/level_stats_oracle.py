# Level statistics of a results file with numpy: usage CSV ROW B0 B1 S0 S1 A0 A1.
# Object A's value is column 11 of data rows (line 7 on, 1-based); an empty
# field reads 0; an empty line repeats the value before it in the same range and
# still counts (the after range's mean carries on from the step range's last
# value). Prints "before|step|after MEAN STDERR COUNT".
import sys
import numpy as np

path, row, *r = sys.argv[1:]
row = int(row)
r = [int(x) for x in r]
lines = open(path, newline="").read().split("\r\n")
if lines and lines[-1] == "":
    lines.pop()
data = lines[6:]


def cells(lo, hi, carry):
    """Values of rows lo..hi (inclusive) that exist, and the carry left."""
    out = []
    for i in range(max(lo, 0), min(hi, len(data) - 1) + 1):
        if data[i] != "":
            f = data[i].split(",")
            carry = float(f[10]) if len(f) > 10 and f[10] != "" else 0.0
        out.append(carry)
    return np.array(out), carry


def stats(lo, hi, carry_in):
    v, carry = cells(lo, hi, carry_in)
    if len(v) == 0:
        return (0.0, 0.0, 0), carry
    mean = v.mean()
    dev, _ = cells(lo, hi, 0.0)  # the deviation pass starts from 0
    sd = np.sqrt(((dev - mean) ** 2).sum() / (len(v) - 1)) if len(v) > 1 else 0.0
    return (mean, sd / np.sqrt(len(v)), len(v)), carry


b, _ = stats(row + r[0], row + r[1], 0.0)
s, carry = stats(row + r[2], row + r[3], 0.0)
a, _ = stats(row + r[4], row + r[5], carry)
for name, (m, e, n) in (("before", b), ("step", s), ("after", a)):
    print(name, repr(float(m)), repr(float(e)), n)
