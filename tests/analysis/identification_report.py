#!/usr/bin/python3
"""Writes a synthetic lunar-occultation prediction report and what the probe's
"prediction" command must print for it, from the report's fixed positions.

Event lines are first built as the list shows them (after characters 110-134 and
then 90-98 were cut) and then widened by filler at those places, so values placed
past column 90 test the cutting. Times come from datetime arithmetic, not from
day tables; which events the automatic search keeps is decided here from the
time difference alone (|dt| <= 6 s).

usage: identification_report.py --out DIR --event "YYYY-MM-DD HH:MM:SS" --offsets +5,-7,...
       [--cct C] [--sv S] [--mdist M] [--observer NAME]
DIR receives report.txt and expected_K.txt (the probe's output with --apply K,
K = 0.. over the listed items) and selected.txt (the probe's output without --apply).
"""
import argparse
import datetime
import decimal
import os

MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]

# flag, star number, spectral type, contact angle, shadow velocity, Moon distance (1000 km)
CASES = [
    (" ", 8999, "K ", "-120", "612.34", "384.4"),
    (" ", 9000, "G8", "45.34", "0.5123", "402.17"),
    ("X", 12345, "M2", "95.0", "-33.3", "370.05"),
    ("A", 777, "B", "10.06", "1234.56", "399.99"),
]


def put(line, col, text):
    """Places text at 1-based column col of a list of characters."""
    while len(line) < col - 1 + len(text):
        line.append(" ")
    line[col - 1:col - 1 + len(text)] = list(text)


def widen(shown):
    """The line as the report holds it: the list cuts 110-134, then 90-98."""
    shown = shown.ljust(100)
    return shown[:89] + "#" * 9 + shown[89:100] + "%" * 25 + shown[100:]


def fixed1(text):
    return str(decimal.Decimal(text).quantize(decimal.Decimal("0.1"), rounding=decimal.ROUND_HALF_UP))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    ap.add_argument("--event", required=True)
    ap.add_argument("--offsets", required=True)
    ap.add_argument("--cct", type=int, default=60)
    ap.add_argument("--sv", type=int, default=101)
    ap.add_argument("--mdist", type=int, default=92)
    ap.add_argument("--observer", default="A. Observer")
    a = ap.parse_args()
    event = datetime.datetime.strptime(a.event, "%Y-%m-%d %H:%M:%S")
    offsets = [int(x) for x in a.offsets.split(",")]

    head = ["Lunar occultation predictions", "Station  E 135 00 00  N 35 00 00", ""]
    header = [" "] * 10
    put(header, 1, " y  mon dd  h  m  s")
    put(header, a.cct + 9, "Cct")
    put(header, a.sv + 37, "SV")
    put(header, a.mdist + 35, "Mdist")
    head.append("".join(header))
    head.append("-" * 60)

    report = list(head)
    events = []
    for k, off in enumerate(offsets):
        t = event + datetime.timedelta(seconds=off)
        flag, number, spectral, cct, sv, mdist = CASES[k % len(CASES)]
        line = []
        put(line, 1, "%02d %s %2d %02d %02d %02d" % (t.year % 100, MONTHS[t.month - 1], t.day, t.hour, t.minute,
                                                     t.second))
        put(line, 22, flag)
        put(line, 23, "%6d" % number)
        put(line, 30, spectral.ljust(2))
        put(line, a.cct, cct.rjust(5))
        put(line, a.sv, sv.rjust(7))
        put(line, a.mdist, mdist.rjust(6))
        shown = "".join(line).ljust(100)
        report.append(widen(shown))
        # A continuation line without a month belongs to the event above.
        report.append("          continued %d" % k)
        events.append((t, off, shown, flag, number, spectral, cct, sv, mdist))

    os.makedirs(a.out, exist_ok=True)
    with open(os.path.join(a.out, "report.txt"), "w", newline="\r\n") as f:
        f.write("\n".join(report) + "\n")

    listed = [e for e in events if abs(e[1]) <= 6]
    yy = "%02d" % (event.year % 100)
    selected = next((i for i, e in enumerate(listed) if e[2][:2] == yy), 0 if listed else -1)
    for k in range(len(listed)):
        out = ["item %d %s" % (i, e[2]) for i, e in enumerate(listed)]
        out.append("selected %d" % selected)
        t, off, shown, flag, number, spectral, cct, sv, mdist = listed[k]
        if flag == "X":
            star = "XZ %d" % number
        elif flag == " ":
            star = ("ZC %d" if number < 9000 else "SAO %d") % number
        else:
            star = "%d" % number
        angle = abs(decimal.Decimal(cct))
        if angle >= 90:
            angle = 180 - angle
        metres = int(decimal.Decimal(mdist) * 1000000)
        spectral = spectral[0] + (spectral[1] if len(spectral) > 1 and spectral[1].isdigit() else "5")
        out += ["star " + star, "distance %d" % (metres // 1000), "velocity " + fixed1(sv),
                "angle " + fixed1(str(angle)), "spectral " + spectral, "object-distance %d" % metres,
                "date %04d %02d %02d" % (t.year, t.month, t.day),
                "label %s ; %d %s %d ; %s" % (star, t.year, MONTHS[t.month - 1], t.day, a.observer)]
        with open(os.path.join(a.out, "expected_%d.txt" % k), "w") as f:
            f.write("\n".join(out) + "\n")
        if k == selected:
            with open(os.path.join(a.out, "selected.txt"), "w") as f:
                f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
