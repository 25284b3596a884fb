#!/usr/bin/python3
"""Synthetic time-inserter overlays on video frames, with a JSON truth file.

Draws the time line of three kinds of video time inserter into interlaced frames
with ordinary font faces (not the devices' own fonts), optionally degrades the
frames, and writes them as binary PPM files or through the ffmpeg tool as an AVI.
The truth file lists, per frame and field, the text, every character's centre x and
top line, and which frame lines carry the field.

Layouts (x positions given for 720-wide frames, scaled by width / 720):
  iota  cell c centred at x0 + p*c (p 24.1 or --pitch, x0 82), top line 434 (480 lines) or 544
        (576); cells 0-7 "hh:mm:ss", 9-12 and 14-17 two four-digit fraction groups of
        which each field shows only its own, 19-26 the field counter.
  ghs   pitch 20, the hours' first cell centred at 384, top line 386; "U" at cell -11,
        the date "YY-MM-DD" on cells -9..-2, "hh:mm:ss.fff" on cells 0-11.
  kiwi  seven dot rows, each one field line high with a dark field line under it, at
        the centres and top lines given by the caller; --italic slants the rows (each
        dot row 1.7 px right of the one below).

Digits are 28 frame lines high (14 lines in each field). Characters are white (235)
with a one-pixel black outline. Each field carries its own time; --order says
whether the earlier field is on the even (top) or the odd (bottom) lines.

Usage as a module: make_sequence(options) -> (frames, truth); write_ppm, write_avi.
Usage as a program: overlay_synth.py --type iota --out DIR [options] (see --help).
"""
import argparse
import json
import math
import os
import subprocess
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont

FACES = {
    "liberation": "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf",
    "freemono": "/usr/share/fonts/truetype/freefont/FreeMonoBold.ttf",
    "dejavu": "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
}
INK = 235.0
BIG = 240          # font size of the master glyphs
DIGIT_FIELD_LINES = 14


class Face:
    """Master glyphs of one font face, measured on the ink of "0"."""

    def __init__(self, name):
        self.font = ImageFont.truetype(FACES[name], BIG)
        self.cache = {}
        zero = self.glyph("0")
        self.top, self.height = zero["ink_top"], zero["ink_bottom"] - zero["ink_top"]
        self.zero_width = zero["ink_right"] - zero["ink_left"]

    def glyph(self, ch):
        if ch in self.cache:
            return self.cache[ch]
        pad = BIG // 2
        adv = self.font.getlength(ch)
        w, h = int(adv) + 2 * pad, int(BIG * 1.6) + 2 * pad
        img = Image.new("L", (w, h), 0)
        ImageDraw.Draw(img).text((pad, pad), ch, font=self.font, fill=255)
        arr = np.asarray(img, dtype=np.float32) / 255.0
        ys, xs = np.nonzero(arr > 0.5)
        g = {
            "image": img,
            "centre": pad + adv / 2.0,          # centre of the advance box
            "ink_top": ys.min() if len(ys) else pad,
            "ink_bottom": ys.max() + 1 if len(ys) else pad,
            "ink_left": xs.min() if len(xs) else pad,
            "ink_right": xs.max() + 1 if len(xs) else pad,
        }
        self.cache[ch] = g
        return g

    def coverage(self, ch, cx, top, sx, sy, width, height, rows=None):
        """Ink coverage (0..1) of ch on a width x height field: the advance centre at
        x = cx, the digit top at line `top`, sx/sy output pixels per master pixel."""
        g = self.glyph(ch)
        img = g["image"]
        # The output rectangle whose master box lies inside the padded master image.
        x0 = max(0, int(math.ceil(cx - g["centre"] * sx)))
        x1 = min(width, int(math.floor(cx + (img.width - g["centre"]) * sx)))
        y0 = max(0, int(math.ceil(top - self.top * sy)))
        y1 = min(height, int(math.floor(top + (img.height - self.top) * sy)))
        out = np.zeros((height, width), np.float32)
        if x1 <= x0 or y1 <= y0:
            return out
        box = ((x0 - cx) / sx + g["centre"], (y0 - top) / sy + self.top,
               (x1 - cx) / sx + g["centre"], (y1 - top) / sy + self.top)
        patch = img.resize((x1 - x0, y1 - y0), resample=Image.BOX, box=box)
        out[y0:y1, x0:x1] = np.asarray(patch, dtype=np.float32) / 255.0
        return out


def dilate(a):
    """3 x 3 grey dilation."""
    p = np.pad(a, 1)
    out = a.copy()
    for dy in (0, 1, 2):
        for dx in (0, 1, 2):
            out = np.maximum(out, p[dy:dy + a.shape[0], dx:dx + a.shape[1]])
    return out


def paint(field, alpha, outline=True):
    if outline:
        ring = dilate(alpha)
        field *= (1.0 - ring)[:, :, None]
    field *= (1.0 - alpha)[:, :, None]
    field += (INK * alpha)[:, :, None]


def background(kind, h, w, rng):
    if kind == "black":
        return np.zeros((h, w, 3), np.float32)
    if kind == "grey":
        return np.full((h, w, 3), 70.0, np.float32)
    if kind == "stars":
        img = rng.normal(18.0, 4.0, (h, w, 1)).repeat(3, axis=2).astype(np.float32)
        yy, xx = np.mgrid[0:h, 0:w]
        for _ in range(max(1, w * h // 6000)):
            x, y = rng.uniform(0, w), rng.uniform(0, h)
            s, a = rng.uniform(0.8, 2.0), rng.uniform(40, 230)
            sl = (slice(max(0, int(y - 4 * s)), int(y + 4 * s) + 1), slice(max(0, int(x - 4 * s)), int(x + 4 * s) + 1))
            img[sl] += (a * np.exp(-((xx[sl] - x) ** 2 + (yy[sl] - y) ** 2) / (2 * s * s)))[:, :, None]
        return np.clip(img, 0, 255)
    raise ValueError("unknown background " + kind)


def clock(t, digits):
    """Hours, minutes, whole seconds and the fraction as `digits` digits, of time t
    in seconds (rounded to 100 microseconds first, so 0.02 stays 0.0200)."""
    u = int(round(t * 10000)) % (86400 * 10000)
    sec, frac = divmod(u, 10000)
    h, rem = divmod(sec, 3600)
    m, s = divmod(rem, 60)
    return h, m, s, frac // 10 ** (4 - digits)


def line_cells(kind, t, field_number):
    """{cell: character} of one field's time line."""
    cells = {}

    def put(start, text):
        for i, ch in enumerate(text):
            if ch != " ":
                cells[start + i] = ch

    if kind == "iota":
        h, m, s, frac = clock(t, 4)
        put(0, "%02d:%02d:%02d" % (h, m, s))
        put(9 if field_number % 2 == 0 else 14, "%04d" % frac)
        put(19, str(field_number)[:8])
    elif kind == "ghs":
        put(-11, "U")
        put(-9, "%02d-%02d-%02d" % (26, 1 + field_number // 1000 % 12, 1 + field_number % 28))
        put(0, "%02d:%02d:%02d.%03d" % clock(t, 3))
    elif kind == "kiwi":
        h, m, s, ms = clock(t, 3)
        put(0, "%02d%02d%02d%03d%03d" % (h, m, s, ms, (ms + 17) % 1000))
    return cells


def render_field(face, kind, cells, width, height, opts, field_top, rng):
    """One field (height = frame lines / 2) with its text; returns the field image and
    the truth of its characters."""
    scale = width / 720.0
    sy = DIGIT_FIELD_LINES / face.height
    sx = opts["zero_width"] * scale / face.zero_width
    shift = opts.get("subpixel", 0.0)
    img = background(opts.get("background", "black"), height, width, rng)
    chars = []
    if kind == "kiwi":
        centres = opts["kiwi_centres"]
        for cell, ch in sorted(cells.items()):
            if cell >= len(centres):
                continue
            cx = centres[cell] * scale + shift
            # Seven dot rows: the glyph sampled at seven row heights, each row drawn on
            # one field line with a dark line below it.
            cov = face.coverage(ch, cx, 0, sx, 7.0 / face.height, width, 7 + 2)
            alpha = np.zeros((height, width), np.float32)
            for r in range(7):
                y = field_top + 2 * r
                if 0 <= y < height:
                    row = cov[r]
                    if opts.get("italic"):
                        d = 1.7 * (3 - r)
                        xs = np.arange(width) - d
                        row = np.interp(xs, np.arange(width), row, left=0, right=0)
                    alpha[y] = np.maximum(alpha[y], row)
            ring = dilate(alpha)
            for r in range(7):
                y = field_top + 2 * r + 1
                if 0 <= y < height:
                    ring[y] = np.maximum(ring[y], ring[y - 1])
            img *= (1.0 - ring)[:, :, None]
            img += (INK * alpha)[:, :, None]
            chars.append({"char": ch, "cell": cell, "x": cx, "top": field_top})
        return img, chars
    if kind == "iota":
        pitch, x0 = opts.get("pitch", 24.1) * scale, 82.0 * scale
    else:
        pitch, x0 = 20.0 * scale, 384.0 * scale
    alpha = np.zeros((height, width), np.float32)
    for cell, ch in sorted(cells.items()):
        cx = x0 + pitch * cell + shift
        alpha = np.maximum(alpha, face.coverage(ch, cx, field_top, sx, sy, width, height))
        chars.append({"char": ch, "cell": cell, "x": cx, "top": field_top})
    paint(img, alpha)
    return img, chars


def gaussian_blur(img, sigma):
    r = int(math.ceil(3 * sigma))
    k = np.exp(-np.arange(-r, r + 1) ** 2 / (2 * sigma * sigma))
    k /= k.sum()
    out = img
    for axis in (0, 1):
        out = np.apply_along_axis(lambda v: np.convolve(v, k, mode="same"), axis, out)
    return out


def make_frame(face, opts, index, rng):
    kind, width, height = opts["type"], opts["width"], opts["height"]
    fh = height // 2
    rate = opts.get("rate", 25.0)
    field_dt = 1.0 / (2 * rate)
    t0 = opts.get("start", 3723.0) + index / rate
    earlier_on_even = opts.get("order", "top") == "top"
    frame = np.zeros((height, width, 3), np.float32)
    fields = []
    for parity in (0, 1):
        first = (parity == 0) == earlier_on_even
        t = t0 + (0 if first else field_dt)
        number = opts.get("first_field_number", 1000) + 2 * index + (0 if first else 1)
        cells = opts["text"][parity] if opts.get("text") else line_cells(kind, t, number)
        if kind == "kiwi":
            top_frame = opts["kiwi_tops"][parity]
        elif kind == "iota":
            top_frame = 434 if height < 540 else 544
        else:
            top_frame = 386
        top_frame += parity - (top_frame % 2)          # the field's own line
        field_top = top_frame // 2 + opts.get("line_shift", 0)
        img, chars = render_field(face, kind, cells, width, fh, opts, field_top, rng)
        frame[parity::2][:fh] = img
        for c in chars:
            c["top"] = 2 * c["top"] + parity
        fields.append({"lines": "even" if parity == 0 else "odd", "earlier": first, "time": t,
                       "text": "".join(c["char"] for c in chars), "chars": chars})
    return frame, fields


def degrade(frame, opts, rng):
    out = frame
    if opts.get("blur"):
        out = gaussian_blur(out, opts["blur"])
    out = out * opts.get("gain", 1.0) + opts.get("offset", 0.0)
    if opts.get("noise"):
        out = out + rng.normal(0.0, opts["noise"], out.shape)
    out = np.clip(np.rint(out), 0, 255).astype(np.uint8)
    if opts.get("resample"):
        img = Image.fromarray(out, "RGB").resize((opts["resample"], out.shape[0]), resample=Image.BICUBIC)
        out = np.asarray(img)
    return out


def make_sequence(opts):
    """Frames (uint8 RGB arrays) and the truth dictionary for the options."""
    rng = np.random.default_rng(opts.get("seed", 1))
    face = Face(opts.get("face", "liberation"))
    frames, truth = [], []
    for i in range(opts.get("frames", 1)):
        f, fields = make_frame(face, opts, i, rng)
        f = degrade(f, opts, rng)
        if opts.get("resample"):
            k = opts["resample"] / opts["width"]
            for fl in fields:
                for c in fl["chars"]:
                    c["x"] *= k
        frames.append(f)
        truth.append({"frame": i, "fields": fields})
    return frames, {"options": {k: v for k, v in opts.items() if k != "text"}, "frames": truth}


def write_ppm(path, frame):
    h, w, _ = frame.shape
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h))
        f.write(np.ascontiguousarray(frame).tobytes())
    os.replace(tmp, path)


def write_avi(path, frames, codec, rate=25.0, quality=4):
    """Pipes the frames as bgr24 to ffmpeg: ffv1, huffyuv, mjpeg (-q:v quality) or dvvideo."""
    h, w, _ = frames[0].shape
    args = {"ffv1": ["-c:v", "ffv1"], "huffyuv": ["-c:v", "huffyuv"],
            "mjpeg": ["-c:v", "mjpeg", "-q:v", str(quality), "-pix_fmt", "yuvj422p"],
            "dvvideo": ["-c:v", "dvvideo", "-pix_fmt", "yuv411p" if h == 480 else "yuv420p"]}[codec]
    r = "30000/1001" if abs(rate - 29.97) < 0.01 else str(rate)
    cmd = ["ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "bgr24", "-s", "%dx%d" % (w, h),
           "-r", r, "-i", "-"] + args + ["-f", "avi", path + ".tmp"]
    data = b"".join(np.ascontiguousarray(f[:, :, ::-1]).tobytes() for f in frames)
    subprocess.run(cmd, input=data, check=True)
    os.replace(path + ".tmp", path)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--type", choices=["iota", "ghs", "kiwi"], required=True)
    ap.add_argument("--face", choices=sorted(FACES), default="liberation")
    ap.add_argument("--zero-width", type=float, default=20.0, help="ink width of \"0\" at 720 wide")
    ap.add_argument("--size", default="720x480")
    ap.add_argument("--frames", type=int, default=1)
    ap.add_argument("--rate", type=float, default=25.0)
    ap.add_argument("--order", choices=["top", "bottom"], default="top")
    ap.add_argument("--background", choices=["black", "grey", "stars"], default="black")
    ap.add_argument("--kiwi-centres", default="", help="comma-separated centres of the kiwi cells")
    ap.add_argument("--kiwi-tops", default="508,509", help="top frame lines of the two fields")
    ap.add_argument("--italic", action="store_true")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--blur", type=float, default=0.0)
    ap.add_argument("--noise", type=float, default=0.0)
    ap.add_argument("--gain", type=float, default=1.0)
    ap.add_argument("--offset", type=float, default=0.0)
    ap.add_argument("--subpixel", type=float, default=0.0)
    ap.add_argument("--pitch", type=float, default=24.1, help="iota cell pitch at 720 wide")
    ap.add_argument("--line-shift", type=int, default=0)
    ap.add_argument("--resample", type=int, default=0, help="resample the width to this many pixels")
    ap.add_argument("--video", choices=["ffv1", "huffyuv", "mjpeg", "dvvideo"])
    ap.add_argument("--quality", type=int, default=4)
    ap.add_argument("--out", required=True, help="folder for frame_NNNN.ppm / video.avi and truth.json")
    a = ap.parse_args(argv)
    w, h = (int(v) for v in a.size.split("x"))
    opts = {"type": a.type, "face": a.face, "zero_width": a.zero_width, "width": w, "height": h,
            "frames": a.frames, "rate": a.rate, "order": a.order, "background": a.background,
            "italic": a.italic, "seed": a.seed, "blur": a.blur, "noise": a.noise, "gain": a.gain,
            "offset": a.offset, "subpixel": a.subpixel, "pitch": a.pitch, "line_shift": a.line_shift, "resample": a.resample,
            "kiwi_centres": [float(v) for v in a.kiwi_centres.split(",") if v],
            "kiwi_tops": [int(v) for v in a.kiwi_tops.split(",")]}
    if a.type == "kiwi" and not opts["kiwi_centres"]:
        ap.error("--type kiwi needs --kiwi-centres")
    os.makedirs(a.out, exist_ok=True)
    frames, truth = make_sequence(opts)
    if a.video:
        write_avi(os.path.join(a.out, "video.avi"), frames, a.video, a.rate, a.quality)
    else:
        for i, f in enumerate(frames):
            write_ppm(os.path.join(a.out, "frame_%04d.ppm" % i), f)
    with open(os.path.join(a.out, "truth.json.tmp"), "w") as f:
        json.dump(truth, f, indent=1)
    os.replace(os.path.join(a.out, "truth.json.tmp"), os.path.join(a.out, "truth.json"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
