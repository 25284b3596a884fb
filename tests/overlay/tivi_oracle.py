#!/usr/bin/python3
"""TIVi marker and sample points of `tevorin-probe tivi --click` against the closed
forms worked in numpy (np.round rounds halves to even).

  tivi_oracle.py PROBE

Random pairs of grey-255 rectangles on black, clicked above and left of the first:
the bright boxes are (left, right, top, bottom + 1) of each rectangle, the marker
x1 = 5 (l1 + r1), x2 = 5 (l2 + r2), y = 2.5 (t1 + b1 + t2 + b2), height =
5 ((b1 - t1) + (b2 - t2)), and each template point (tx, ty) maps to
((x - tx (x1 - x2) / 275) / 10, (ty height / 300 + y) / 10), rounded.
"""
import os
import subprocess
import sys
import tempfile

import numpy as np

TEMPLATE = [(100, -125), (100, -75), (100, -25), (-90, 25), (100, 90), (50, 125), (-70, -25), (0, 0), (-85, 125)]


def write_ppm(path, a):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (a.shape[1], a.shape[0]))
        f.write(np.ascontiguousarray(a).tobytes())


def expected(r1, r2):
    (l1, t1, R1, B1), (l2, t2, R2, B2) = r1, r2
    b1, b2 = B1 + 1, B2 + 1  # the row below the last bright one
    x1 = int(np.round(5.0 * (l1 + R1)))
    x2 = int(np.round(5.0 * (l2 + R2)))
    h = int(np.round(5.0 * ((b1 - t1) + (b2 - t2))))
    y = int(np.round(2.5 * (t1 + b1 + t2 + b2)))
    sx, sy = (x1 - x2) / 275.0, h / 300.0
    pts = []
    for cx, cy in ((x1, y), (x2, y)):
        for tx, ty in TEMPLATE:
            pts.append((int(np.round((cx - tx * sx) / 10)), int(np.round((ty * sy + cy) / 10))))
    return (x1, y, x2, y, h), pts


def expected_halves(r1, r2):
    """Which sample coordinates land exactly on a half before rounding."""
    (x1, y, x2, _, h), _ = expected(r1, r2)
    sx, sy = (x1 - x2) / 275.0, h / 300.0
    out = []
    for cx in (x1, x2):
        for tx, ty in TEMPLATE:
            for v in ((cx - tx * sx) / 10, (ty * sy + y) / 10):
                out.append(v - np.floor(v) == 0.5)
    return out


def main(argv):
    probe = argv[0]
    rng = np.random.default_rng(7)
    failures = 0
    halves = 0
    with tempfile.TemporaryDirectory() as tmp:
        img = os.path.join(tmp, "t.ppm")
        for case in range(60):
            a = np.zeros((240, 320, 3), np.uint8)
            w1, h1 = rng.integers(8, 20), rng.integers(12, 30)
            l1, t1 = rng.integers(30, 120), rng.integers(40, 120)
            gap = rng.integers(4, 10)
            # The digits of a display share their rows: a taller neighbour inside the
            # first box's 46-column scan would extend that box.
            w2, h2 = rng.integers(8, 20), h1
            l2, t2 = l1 + w1 + gap, t1
            r1 = (l1, t1, l1 + w1 - 1, t1 + h1 - 1)
            r2 = (l2, t2, l2 + w2 - 1, t2 + h2 - 1)
            # The second box is searched from the first one's right edge + 2 on the click
            # row: keep it within the 46-column scan and below the click.
            if l2 + w2 > r1[2] + 2 + 45 or r2[2] + 2 > 319:
                continue
            a[r1[1]:r1[3] + 1, r1[0]:r1[2] + 1] = 255
            a[r2[1]:r2[3] + 1, r2[0]:r2[2] + 1] = 255
            click = (l1 - int(rng.integers(1, 5)), min(t1, t2) - int(rng.integers(1, 5)))
            write_ppm(img, a)
            out = subprocess.run([probe, "tivi", img, "--click", "%d,%d" % click, "--threshold", "100"],
                                 capture_output=True, text=True, check=True).stdout.split("\n")
            marker, pts = expected(r1, r2)
            want_marker = "marker=%d,%d,%d,%d,%d located=1" % marker
            want_points = "points=" + " ".join("%d,%d" % p for p in pts)
            halves += sum(1 for v in expected_halves(r1, r2) if v)
            if out[0] != want_marker or out[1] != want_points:
                failures += 1
                print("case %d rects %s %s click %s\n want %s\n  got %s\n want %s\n  got %s" %
                      (case, r1, r2, click, want_marker, out[0], want_points, out[1]))
        # A click on empty sky: the not-found marker (x1 from the start values).
        write_ppm(img, np.zeros((240, 320, 3), np.uint8))
        out = subprocess.run([probe, "tivi", img, "--click", "50,60", "--threshold", "100"],
                             capture_output=True, text=True, check=True).stdout.split("\n")
        if out[0] != "marker=5250,4750,500,4750,50 located=0" or not out[2].startswith("text=EE ok=0"):
            failures += 1
            print("empty sky: %s / %s" % (out[0], out[2]))
    if halves == 0:
        print("no sample point with a half to round")
        failures += 1
    print("%d failures, %d sample coordinates rounded from a half" % (failures, halves))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
