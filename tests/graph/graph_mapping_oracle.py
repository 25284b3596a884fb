#!/usr/bin/python3
"""Golden table of the light-curve graph's range, horizontal scale and pixel mapping.

Written from the drawing's rules, independently of the C++ code: the range of the
shown objects starting from 0, the slider factors, the plot scale, the Width choice,
the rows that fit, the first shown row with recentring and clamping, the scroll
range, and the pixels of a few values and rows. One line per case; the C++ test
builds the same table and compares it line by line.

Usage: graph_mapping_oracle.py OUT
"""
import sys

H, TOP, BOTTOM, LEFT, RIGHT = 425, 20, 40, 50, 10
LIMIT = 30000.0


def value(k, i):
    # Table values: multiples of 1/8, exact in binary and in their decimal text.
    return ((i * (7919 + 104 * k)) % (20011 + 7 * k) - 5000 * k) / 8


def clamp_round(v):
    if not (v > -LIMIT):
        return -30000
    if v > LIMIT:
        return 30000
    return round(v)  # half to even


minmax_cache = {}


def get_min_max(n, shown):
    key = (n, shown)
    if key not in minmax_cache:
        mn = mx = 0.0
        for i in range(n):
            for k in (1, 2, 3):
                if shown[k - 1]:
                    v = value(k, i)
                    mx = max(mx, v)
                    mn = min(mn, v)
        minmax_cache[key] = (mn, mx)
    return minmax_cache[key]


def case(n, field, item_in, narrow, scale, smax, smin, shown, recentre):
    item = item_in
    raw_min, raw_max = get_min_max(n, shown)
    gmax = smax * raw_max / 10
    gmin = -(smin * raw_min / 10)
    plot_h = float(H - TOP - BOTTOM)
    rng = gmax - gmin
    if rng == 0:
        rng = 0.0001
    yscale = plot_h / rng
    yoffset = plot_h - gmax * yscale
    image_w = 300 if narrow else 740
    base = 2.0 ** (scale - 5)
    enabled = True
    entire_view = item
    plot_w = float(image_w - LEFT - RIGHT)
    if narrow:
        enabled = False
    else:
        overflow = plot_w < 2 * base * n
        if not overflow:
            item, entire_view, enabled = 0, 0, False
    fit = plot_w / n
    if item == 1 and enabled:
        if not field:
            xscale = 2 * base if fit >= 2 else fit
        else:
            xscale = base if fit >= 1 else fit
    else:
        xscale = 2 * base
    if xscale == 0:
        xscale = 2 * base
    shown_rows = round((image_w - RIGHT - LEFT) / xscale)
    first = n // 3
    selected = n // 2
    if item == 1:
        first, pos, mx = 0, 0, 0
    else:
        if recentre and selected > 0 and shown_rows // 2 < selected:
            first = max(0, selected - shown_rows // 2)
        if first + shown_rows > n:
            first = n - shown_rows
        if first < 0:
            first = 0
        pos, mx = first, max(0, n - shown_rows)

    def y(v):
        return H - BOTTOM - clamp_round(v * yscale + yoffset)

    def x(i):
        return clamp_round(i * xscale) + LEFT

    ys = [y(v) for v in (gmin, gmax, 0.0, value(1, first), 1e300, -1e300)]
    xs = [x(i) for i in (0, 1, shown_rows - 1, shown_rows)]
    return ("n=%d field=%d item=%d narrow=%d scale=%d max=%d min=%d shown=%d%d%d recentre=%d | "
            "%.17g %.17g %.17g %.17g %.17g %d %d %d %d %d %d %d | %s | %s") % (
        n, field, item_in, narrow, scale, smax, smin, shown[0], shown[1], shown[2], recentre,
        gmin, gmax, yscale, yoffset, xscale, shown_rows, first, pos, mx, enabled, item, entire_view,
        " ".join(map(str, ys)), " ".join(map(str, xs)))


def cases():
    for n in (1, 2, 100, 339, 340, 341, 1000, 200000):
        for field in (0, 1):
            for item in (0, 1):
                for narrow in (0, 1):
                    for scale in (0, 3, 5, 6, 10):
                        for smax, smin in ((10, -10), (20, -10), (5, -20), (10, 5), (0, 20)):
                            shown = (1, 1, 1) if smax != 5 else (1, 0, 1)
                            if n == 200000 and (smax, smin) not in ((10, -10), (5, -20)):
                                continue
                            yield case(n, field, item, narrow, scale, smax, smin, shown, scale % 2)


if __name__ == "__main__":
    with open(sys.argv[1], "w") as out:
        for line in cases():
            out.write(line + "\n")
