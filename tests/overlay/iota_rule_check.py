#!/usr/bin/python3
"""The IOTA-VTI locator judged by what the inserter guarantees.

  iota_rule_check.py corpus PROBE HARNESS DIR     real lines of the shared corpus, six clips
  iota_rule_check.py rows PROBE DIR [--report]    generated lines on both rows of each pair
  iota_rule_check.py breaks PROBE HARNESS DIR     lines that break a rule on purpose

corpus: each folder of ../shared/corpus/iota-vti (beside the checkout) is composed in both
field placements with its own compose.py, opened in the main window with IOTA-VTI in the
settings file, "KIWI" ticked, measured from frame 0 and saved; columns 2-7 of every row must
be the corpus truth, digit for digit, and the grid trusted. Exit 77 (skipped) without the corpus.

rows: generated lines over pitches of 21.5-25 frame pixels, sub-pixel shifts, both rows of the
usual and the TV-safe row pair and thresholds 80-100 must be located trusted on the right row and read every string of every frame,
and the same grid one field line off (the other row of the pair) must fail the check.

breaks: a counter that jumps by 3 (a dropped frame), a repeated frame and a PAL step of 201
between the located frame and the next must not make the right grid fail; a located frame
whose own two fields disagree is located but not trusted, and the main window says so.
"""
import json
import os
import subprocess
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import overlay_synth  # noqa: E402
import overlay_locate_check  # noqa: E402
import overlay_time_check  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP = 77


def corpus_dir():
    root = os.path.normpath(os.path.join(HERE, "..", ".."))
    for up in ("..", os.path.join("..", "..")):
        d = os.path.normpath(os.path.join(root, up, "shared", "corpus", "iota-vti"))
        if os.path.exists(os.path.join(d, "compose.py")):
            return d
    return None


def kv(line):
    return dict(p.split("=", 1) for p in line.split() if "=" in p)


def locate(probe, video, *extra):
    out = subprocess.run([probe, "overlay-locate", video, "--type", "iota"] + list(extra),
                         capture_output=True, text=True)
    if out.returncode != 0:
        raise RuntimeError("probe failed: " + out.stderr.strip())
    lines = out.stdout.splitlines()
    res = kv(lines[0])
    for line in lines[1:]:
        if line.startswith("check="):
            res["check"] = line.split("=", 1)[1]
        if line.startswith("columns="):
            res["columns"] = line.split("=", 1)[1]
    res["reason"] = out.stderr.strip()
    return res


def cmd_corpus(probe, harness, work):
    src = corpus_dir()
    if not src:
        print("no ../shared/corpus/iota-vti beside the checkout: skipped")
        return SKIP
    failures = []
    folders = sorted(d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d)))
    for folder in folders:
        for swap in (False, True):
            name = folder + ("-swap" if swap else "")
            d = os.path.join(work, name)
            os.makedirs(d, exist_ok=True)
            video = os.path.join(d, "clip.avi")
            subprocess.run(["/usr/bin/python3", os.path.join(src, "compose.py"), folder, video]
                           + (["--swap"] if swap else []), check=True, capture_output=True)
            with open(os.path.join(d, "clip.json")) as f:
                want = json.load(f)["rows"]
            loc = locate(probe, video)
            grid, rows = overlay_locate_check.measure_iota(harness, d, video)
            digits = sum(len(c) for r in want for c in r)
            right = sum(sum(a == b for a, b in zip(w, g)) if len(w) == len(g) else 0
                        for wr, gr in zip(want, rows) for w, g in zip(wr, gr[1:7]))
            print("%-16s first cell %s pitch %s row %s trusted %s: %d of %d digits, %d of %d rows"
                  % (name, "%.2f" % float(loc["a"]), "%.4f" % float(loc["b"]), loc["row"], loc["trusted"], right,
                     digits, sum(wr == gr[1:7] for wr, gr in zip(want, rows)), len(want)))
            if "last=located " not in grid + " ":
                failures.append("%s: the main window's grid is not trusted: %s" % (name, grid))
            if len(rows) != len(want):
                failures.append("%s: %d rows, %d expected" % (name, len(rows), len(want)))
            for i, (wr, gr) in enumerate(zip(want, rows)):
                if wr != gr[1:7]:
                    failures.append("%s row %d: %s, expected %s" % (name, i, gr[1:7], wr))
    for f in failures:
        print(f)
    return 1 if failures else 0


def write_clip(folder, frames, rate):
    os.makedirs(folder, exist_ok=True)
    video = os.path.join(folder, "video.avi")
    overlay_synth.write_avi(video, frames, "ffv1", rate)
    return video


def generated(size, rate, pitch, shift, line_shift, frames=3, **more):
    w, h = (int(v) for v in size.split("x"))
    # A clock and counter of varied digits (a line of zeros reads alike a cell off),
    # without the fives that the rule classifiers do not take from this face.
    opts = {"type": "iota", "face": "liberation", "zero_width": 22.0, "width": w, "height": h, "frames": frames,
            "rate": rate, "order": "top", "subpixel": shift * w / 720.0, "pitch": pitch, "line_shift": line_shift,
            "kiwi_centres": [], "kiwi_tops": [508, 509], "start": 48468.3, "first_field_number": 27186}
    opts.update(more)
    return overlay_synth.make_sequence(opts)


def want_row(rate, line_shift):
    """The row that reads from the digits' second line: the generator's line is on
    the first row of the usual pair, 18 field lines higher on that of the TV-safe pair."""
    return (545 if round(rate) < 27 else 435) + 2 * line_shift


def other_row(row):
    return row + 2 if row in (399, 435, 509, 545) else row - 2


def read_share(probe, video, truth, loc, rate, threshold):
    """Share of the clip's frames whose strings the located grid reads as generated."""
    out = subprocess.run([probe, "overlay-time", video, "--type", "iota", "--rate", str(rate), "--threshold", str(threshold),
                          "--grid", "%s,%s,%s" % (loc["a"], loc["b"], loc["row"]), "--level", loc["level"]],
                         capture_output=True, text=True).stdout.splitlines()
    good = 0
    for line, frame in zip(out, truth["frames"]):
        got = kv(line)
        want = overlay_time_check.expected("iota", frame, 0, False, None)
        # The rule classifiers do not take this face's "5" (see overlay_time_check).
        good += all(overlay_time_check.agrees(v, got.get(k, ""), False) for k, v in want.items())
    return good / max(1, len(truth["frames"]))


def cmd_rows(probe, work, report):
    # Threshold, frame size and rate, pitch in frame pixels, sub-pixel shift, field
    # lines down (0: the usual place, -18: the TV-safe place).
    cases = []
    sizes = (("720x480", 29.97, (23.8, 24.0, 24.2, 24.4)), ("720x576", 25.0, (23.8, 24.0, 24.2, 24.4)),
             ("640x480", 29.97, (21.5, 21.8, 22.1, 22.4)))
    for j, (size, rate, pitches) in enumerate(sizes):
        for i, pitch in enumerate(pitches):
            for k, line_shift in enumerate((0, -18, 0, -18)):
                shift = ((i + j + k) % 4) * 0.25 + (0.1 if k >= 2 else 0.0)
                threshold = (80, 90, 100)[(i + 2 * j + k) % 3]
                cases.append((threshold, size, rate, pitch, shift, line_shift))
    failures, misread = [], []
    for n, (threshold, size, rate, pitch, shift, line_shift) in enumerate(cases):
        width = int(size.split("x")[0])
        frames, truth = generated(size, rate, pitch * 720.0 / width, shift, line_shift)
        video = write_clip(os.path.join(work, "r%d" % n), frames, rate)
        r = locate(probe, video, "--threshold", str(threshold))
        row = want_row(rate, line_shift)
        a, b = float(r.get("a", "nan")), float(r.get("b", "nan"))
        centre = np.mean([c["x"] - b * c["cell"] for c in truth["frames"][0]["fields"][0]["chars"]])
        wrong = locate(probe, video, "--threshold", str(threshold), "--check",
                       "%.6f,%.6f,%d" % (a, b, other_row(row)))
        line = ("%-52s status=%s trusted=%s passing=%s row=%s/%d a-centre=%+.2f pitch-err=%+.3f wrong-row=%s"
                % ((threshold, size, rate, pitch, shift, line_shift), r["status"], r.get("trusted"),
                   r.get("passing"), r.get("row"), row, a - centre, b - pitch, wrong.get("check")))
        if report:
            print(line)
        if r["status"] != "located" or r.get("trusted") != "1" or int(r["row"]) != row:
            failures.append("located: " + line)
        elif read_share(probe, video, truth, r, rate, threshold) < 1:
            misread.append(line)
        if wrong.get("check") != "0":
            failures.append("wrong row passes: " + line)
    # This face's "8" turns into "6" in some cells whichever grid reads it, alike in
    # both fields, so no promise tells it: most lines, not all, read every frame.
    print("%d generated lines, %d read a digit wrong on some frame: %s" % (len(cases), len(misread), misread))
    if len(misread) > 0.2 * len(cases):
        failures.append("more than a fifth of the lines misread")
    print("%d generated lines, %d failures" % (len(cases), len(failures)))
    for f in failures:
        print(f)
    return 1 if failures else 0


def sequence(size, rate, parts):
    """Frames made one by one from (start seconds, first field number) pairs."""
    frames, truths = [], []
    for start, number in parts:
        f, t = generated(size, rate, 24.1, 0.3, 0, frames=1, start=start, first_field_number=number)
        frames += f
        truths.append(t)
    return frames, truths


def cmd_breaks(probe, harness, work):
    failures = []
    pal, ntsc = ("720x576", 25.0), ("720x480", 29.97)
    # The located frame keeps its promises; the next frames do not keep them with it.
    good = {
        "dropped frame": (pal, [(3723.0, 1000), (3723.12, 1006), (3723.16, 1008)]),
        "repeated frame": (pal, [(3723.0, 1000), (3723.0, 1000), (3723.04, 1002)]),
        "PAL step of 201": (pal, [(3723.0, 1000), (3723.0401, 1002), (3723.0801, 1004)]),
        "NTSC counter jump": (ntsc, [(3723.0, 1000), (3723.1001, 1006), (3723.1335, 1008)]),
    }
    for n, (name, ((size, rate), parts)) in enumerate(good.items()):
        frames, truths = sequence(size, rate, parts)
        video = write_clip(os.path.join(work, "g%d" % n), frames, rate)
        r = locate(probe, video)
        row = want_row(rate, 0)
        print("%-18s status=%s trusted=%s passing=%s row=%s/%d" % (name, r["status"], r.get("trusted"),
                                                                   r.get("passing"), r.get("row"), row))
        if r["status"] != "located" or r.get("trusted") != "1" or int(r["row"]) != row:
            failures.append("%s: %s" % (name, r))
    # The located frame's own fields one frame apart (a field counter step of 2 and a
    # fraction step of two fields): no grid passes; the plain fit is kept and the
    # main window says the grid is not trusted.
    size, rate = pal
    frames, truths = generated(size, rate, 24.1, 0.3, 0, frames=3, start=3723.0, first_field_number=1000)
    later, _ = generated(size, rate, 24.1, 0.3, 0, frames=1, start=3723.04, first_field_number=1002)
    first = frames[0].copy()
    first[1::2] = later[0][1::2]
    frames[0] = first
    d = os.path.join(work, "bad")
    video = write_clip(d, frames, rate)
    r = locate(probe, video)
    print("%-18s status=%s trusted=%s passing=%s row=%s reason=%s" % ("fields disagree", r["status"], r.get("trusted"),
                                                                      r.get("passing"), r.get("row"), r["reason"]))
    if r["status"] != "located" or r.get("trusted") != "0" or r.get("passing") != "0":
        failures.append("fields disagree: %s" % r)
    elif int(r["row"]) != want_row(rate, 0):
        failures.append("fields disagree: not the snapped row: %s" % r)
    grid, _ = overlay_locate_check.measure_iota(harness, d, video)
    if "last=located, not trusted: " not in grid:
        failures.append("fields disagree: the main window does not say so: " + grid)
    for f in failures:
        print(f)
    return 1 if failures else 0


def main(argv):
    if len(argv) >= 4 and argv[0] == "corpus":
        return cmd_corpus(argv[1], argv[2], argv[3])
    if len(argv) >= 3 and argv[0] == "rows":
        return cmd_rows(argv[1], argv[2], "--report" in argv)
    if len(argv) >= 4 and argv[0] == "breaks":
        return cmd_breaks(argv[1], argv[2], argv[3])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
