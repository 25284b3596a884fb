#!/usr/bin/python3
"""Clips with LED signal boxes and a TIVi display, written as ffv1 AVI files.

  signal_clips.py signal OUT.avi      720x480, 25 fps, 30 frames: a 5 x 5 grey-255
      square centred at (355, 470) on frames 10-20 and one at (600, 300) on every
      frame (a place for a Signal2 click).
  signal_clips.py tivi OUT.avi        720x480, 25 fps, 40 frames: a two-digit display
      reading "80" on frames 0-29 and dark from frame 30. The digits are grey-255
      blocks 26 x 30 px at x 100 and 130, top line 200, with 3 x 3 black holes at the
      sample points that must read dark. Prints the display's top-left corner.

The sample points are placed with the display's own geometry (nine points per digit
in a frame 275 units between the digit centres and 300 units high), not through the
program, so that a wrong marker reads wrong digits.
"""
import os
import subprocess
import sys

import numpy as np

W, H = 720, 480
TEMPLATE = [(100, -125), (100, -75), (100, -25), (-90, 25), (100, 90), (50, 125), (-70, -25), (0, 0), (-85, 125)]
DARK = {"8": {1, 7}, "0": {1, 7, 8}}
LEFT, TOP, WIDTH, HEIGHT, PITCH = 100, 200, 26, 30, 30


def write_avi(path, frames, rate=25):
    cmd = ["ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", "%dx%d" % (W, H), "-r", str(rate),
           "-i", "-", "-c:v", "ffv1", "-f", "avi", path + ".tmp"]
    subprocess.run(cmd, input=b"".join(np.ascontiguousarray(f).tobytes() for f in frames), check=True)
    os.replace(path + ".tmp", path)


def signal_clip(path):
    frames = []
    for n in range(30):
        f = np.zeros((H, W, 3), np.uint8)
        if 10 <= n <= 20:
            f[468:473, 353:358] = 255
        f[298:303, 598:603] = 255
        frames.append(f)
    write_avi(path, frames)


def tivi_frame(text):
    f = np.zeros((H, W, 3), np.uint8)
    # Digit centres in pixels and the scale of the template units.
    cy = TOP + HEIGHT / 2.0
    for d, ch in enumerate(text):
        x0 = LEFT + d * PITCH
        f[TOP:TOP + HEIGHT, x0:x0 + WIDTH] = 255
        cx = x0 + (WIDTH - 1) / 2.0
        for k, (tx, ty) in enumerate(TEMPLATE, start=1):
            if k not in DARK[ch]:
                continue
            px = int(round(cx + tx * PITCH / 275.0))
            py = int(round(cy + ty * HEIGHT / 300.0))
            f[py - 1:py + 2, px - 1:px + 2] = 0
    return f


def tivi_clip(path):
    frames = [tivi_frame("80") if n < 30 else np.zeros((H, W, 3), np.uint8) for n in range(40)]
    write_avi(path, frames)
    print("%d %d" % (LEFT, TOP))


def main(argv):
    kind, out = argv
    {"signal": signal_clip, "tivi": tivi_clip}[kind](out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
