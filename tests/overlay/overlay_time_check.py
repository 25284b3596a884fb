#!/usr/bin/python3
"""Makes a generator clip, reads it with `tevorin-probe overlay-time` and compares
every frame's strings with the generator's truth.

  overlay_time_check.py PROBE DIR --type kiwi|iota|ghs [--size WxH] [--rate R]
      [--frames N] [--order top|bottom] [--start SECONDS] [--codec ffv1|mjpeg]
      [--field-order 0|1] [--field-measure] [--show-field] [--face F] [--zero-width W]
      [--strict] [--no-compare] [--harness HARNESS]

KIWI-OSD is read on its fixed row sets (the generator draws the cells at the fixed
columns); IOTA-VTI and GHS-OSD get the generator's grid through --grid. Unless
--strict, a "5" read as another digit is accepted: the rule classifiers do not
recognise the generator's fives. With --harness the clip is measured in the main window instead (KIWI-OSD chosen,
"KIWI" ticked, START, saved) and columns 4-7 of every results row are compared.
Exit status 0 when every frame agrees; otherwise
the first differences are printed.
"""
import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import overlay_synth  # noqa: E402

KIWI_COLUMNS = {1: [85, 109, 156, 180, 227, 251, 322, 345, 369, 440, 463, 487],
                2: [70, 94, 140, 164, 210, 234, 306, 330, 353, 424, 448, 472],
                3: [56, 80, 127, 150, 196, 220, 292, 316, 339, 410, 434, 458],
                4: [29, 53, 100, 123, 171, 195, 266, 289, 313, 384, 407, 431]}


def kiwi_row_set(width, rate):
    slow = round(rate) < 26
    return (4 if slow else 3) if width <= 640 else (2 if slow else 1)


def cells_of(field):
    return {c["cell"]: c["char"] for c in field["chars"]}


def text(cells, *idx):
    return "".join(cells.get(i, "0") for i in idx)


def expected(kind, frame, order_item, field_measure, last):
    by_parity = {0 if f["lines"] == "even" else 1: f for f in frame["fields"]}
    p, q = cells_of(by_parity[0]), cells_of(by_parity[1])
    r1, r2 = (q, p) if order_item == 1 else (p, q)
    e = {}
    if kind == "kiwi":
        hh, mm, ss = (0, 1), (2, 3), (4, 5)
    elif kind == "iota":
        hh, mm, ss = (0, 1), (3, 4), (6, 7)
    else:
        hh, mm, ss = (0, 1), (3, 4), (6, 7)
    e["hour1"], e["minute1"], e["second1"] = text(r1, *hh), text(r1, *mm), text(r1, *ss)
    e["second2"] = text(r2, *ss)
    if field_measure:
        e["hour2"], e["minute2"] = text(r2, *hh), text(r2, *mm)
    if kind == "kiwi":
        e["seconds1"] = e["second1"] + "." + text(r1, 9, 10, 11)
        e["seconds2"] = e["second2"] + "." + text(r2, 6, 7, 8)
    elif kind == "iota":
        own = lambda c: text(c, 9, 10, 11, 12) if 9 in c else text(c, 14, 15, 16, 17)
        e["seconds1"] = e["second1"] + "." + own(r1)
        e["seconds2"] = e["second2"] + "." + own(r2)
        top = 1 if by_parity[0]["earlier"] else 0
        e["top"] = str(top)
        first, second = (p, q) if top else (q, p)
        e["count1"] = "".join(first[c] for c in range(19, 27) if c in first)
        e["count2"] = "".join(second[c] for c in range(19, 27) if c in second)
    else:
        e["seconds1"] = e["second1"] + "." + text(r1, 9, 10, 11)
        e["seconds2"] = e["second2"] + "." + text(r2, 9, 10, 11)
        e["top"] = "1" if by_parity[0]["earlier"] else "0"
        e["year"], e["month"], e["day"] = text(q, -9, -8), text(q, -6, -5), text(q, -3, -2)
    return e


def results_rows(path):
    """The data rows of a saved results table, split at the commas."""
    rows = []
    with open(path) as f:
        for line in f:
            parts = line.rstrip("\r\n").split(",")
            if len(parts) > 7 and parts[0].replace(".", "", 1).isdigit() and "." in parts[0]:
                rows.append(parts)
    return rows


def agrees(want, got, strict):
    if want == got:
        return True
    if strict or len(want) != len(got):
        return False
    return all(w == g or (w == "5" and g.isdigit()) for w, g in zip(want, got))


def check_results(a, truth):
    """Measures the clip through the main window and compares the results columns."""
    out = os.path.join(a.dir, "results.csv")
    script = os.path.join(a.dir, "script.txt")
    with open(script, "w") as f:
        f.write("reader vfw\nopen %s\nset ComboBox1 1\nset CheckBox5 1\n" % os.path.join(a.dir, "video.avi"))
        f.write("set CheckBox2 %d\nset RadioGroup2 %d\n" % (1 if a.field_measure else 0, a.field_order))
        if a.show_field:
            f.write("set CheckBox1 1\n")
        f.write("goto 0\nrun\nsave %s\n" % out)
    run = subprocess.run([a.harness, script], capture_output=True, text=True)
    if run.returncode != 0:
        print("harness failed:\n" + run.stdout[-2000:] + run.stderr[-1000:])
        return 1
    rows = results_rows(out)
    per_frame = 2 if a.field_measure else 1
    if len(rows) != per_frame * a.frames:
        print("%d rows for %d frames" % (len(rows), a.frames))
        return 1
    diffs = []
    for frame in truth["frames"]:
        e = expected("kiwi", frame, a.field_order, True, None)
        n = frame["frame"]
        if a.field_measure:
            wants = [(rows[2 * n], [e["hour1"], e["minute1"], e["seconds1"], ""]),
                     (rows[2 * n + 1], [e["hour2"], e["minute2"], e["seconds2"], ""])]
        else:
            wants = [(rows[n], [e["hour1"], e["minute1"], e["seconds1"], e["seconds2"]])]
        for row, want in wants:
            got = row[3:7]
            if not all(agrees(w, g, a.strict) for w, g in zip(want, got)):
                diffs.append("row %s: want %s, read %s" % (row[0], want, got))
    if diffs:
        print("%d differences; first ones:" % len(diffs))
        print("\n".join(diffs[:6]))
        return 1
    return 0


def main(argv):
    ap = argparse.ArgumentParser()
    ap.add_argument("probe")
    ap.add_argument("dir")
    ap.add_argument("--type", choices=["kiwi", "iota", "ghs"], required=True)
    ap.add_argument("--size", default="720x576")
    ap.add_argument("--rate", type=float, default=25.0)
    ap.add_argument("--frames", type=int, default=100)
    ap.add_argument("--order", choices=["top", "bottom"], default="top")
    ap.add_argument("--start", type=float, default=3723.0)
    ap.add_argument("--codec", default="ffv1")
    ap.add_argument("--field-order", type=int, default=0)
    ap.add_argument("--field-measure", action="store_true")
    ap.add_argument("--show-field", action="store_true")
    ap.add_argument("--face", default=None)
    ap.add_argument("--zero-width", type=float, default=None)
    ap.add_argument("--strict", action="store_true")
    ap.add_argument("--no-compare", action="store_true", help="only check that every frame prints a line")
    ap.add_argument("--harness")
    a = ap.parse_args(argv)
    w, h = (int(v) for v in a.size.split("x"))
    face = a.face or {"kiwi": "dejavu", "iota": "freemono", "ghs": "freemono"}[a.type]
    zw = a.zero_width or {"kiwi": 20.0, "iota": 22.0, "ghs": 20.0}[a.type]
    opts = {"type": a.type, "face": face, "zero_width": zw, "width": w, "height": h, "frames": a.frames,
            "rate": a.rate, "order": a.order, "start": a.start, "kiwi_centres": [], "kiwi_tops": [508, 509]}
    probe = [a.probe, "overlay-time", os.path.join(a.dir, "video.avi"), "--type", a.type,
             "--rate", str(a.rate), "--field-order", str(a.field_order)]
    if a.type == "kiwi":
        rs = kiwi_row_set(w, a.rate)
        # The generator scales its centres by width / 720.
        # The generator scales centres and sizes by width / 720; the fixed columns and
        # the digits keep their pixel size. An italic digit's column is its top row.
        slant = 5.1 if rs in (1, 3) else 0.0
        opts["kiwi_centres"] = [(x - slant) * 720.0 / w for x in KIWI_COLUMNS[rs]]
        opts["zero_width"] = zw * 720.0 / w
        opts["kiwi_tops"] = [508, 509] if rs in (2, 4) else [410, 409]
        opts["italic"] = rs in (1, 3)
        probe += ["--threshold", "80"]
    elif a.type == "iota":
        top = 434 if h < 540 else 544
        probe += ["--threshold", "80", "--level", "0", "--grid", "%g,%g,%d" % (82.0 * w / 720, 24.1 * w / 720, top - 2)]
    else:
        probe += ["--threshold", "100", "--level", "100", "--grid", "%g,%g,%d" % (384.0 * w / 720, 20.0 * w / 720, 386)]
    if a.field_measure:
        probe.append("--field-measure")
    if a.show_field:
        probe.append("--show-field")

    os.makedirs(a.dir, exist_ok=True)
    frames, truth = overlay_synth.make_sequence(opts)
    overlay_synth.write_avi(os.path.join(a.dir, "video.avi"), frames, a.codec, a.rate)
    if a.harness:
        return check_results(a, truth)
    run = subprocess.run(probe, capture_output=True, text=True)
    if run.returncode != 0:
        print("probe failed: %s %s" % (" ".join(probe), run.stderr.strip()))
        return 1
    lines = run.stdout.splitlines()
    if len(lines) != a.frames:
        print("%d lines for %d frames" % (len(lines), a.frames))
        return 1
    if a.no_compare:
        return 0
    diffs = []
    last = None
    for line, frame in zip(lines, truth["frames"]):
        got = dict(kv.split("=", 1) for kv in line.split(" "))
        want = expected(a.type, frame, a.field_order, a.field_measure, last)
        for key, value in want.items():
            if not agrees(value, got.get(key), a.strict):
                diffs.append("frame %d %s: want %r, read %r" % (frame["frame"], key, value, got.get(key)))
    if diffs:
        print("%d differences; first ones:" % len(diffs))
        print("\n".join(diffs[:6]))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
