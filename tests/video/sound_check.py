#!/usr/bin/python3
"""Per-frame sound decisions of the probe against an independent numpy model.

Fixtures are made by the ffmpeg tool (square-wave beeps at chosen sample ranges
in an AVI, copied to the display's WAV layout by `tevorin-probe save-wav`).
With numpy the model computes every frame; without it the probe is compared to
sound_golden.txt, which `sound_check.py PROBE WORKDIR --write-golden` refreshes.
"""
import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
GOLDEN = os.path.join(HERE, "sound_golden.txt")


def square(ranges, amp):
    """aevalsrc expression: a square wave of period 40 samples inside the ranges."""
    inside = "+".join("between(n,%d,%d)" % r for r in ranges)
    return "if(%s,%s*(2*mod(floor(n/20),2)-1),0)" % (inside, amp)


# name, frames, video rate, audio expression, sample rate, audio codec options
FIXTURES = [
    # Frames of 1601.6 samples. L: a beep starting inside frame 2, single loud
    # samples with silences of 20 and 40 between them in frame 5, a quiet beep
    # (only loud at the higher gain) in frames 8-9, a beep in the last frames.
    ("s16_stereo", 40, "30000/1001",
     "%s|%s" % (square([(3000, 3500), (8300, 8300), (8321, 8321), (8362, 8362), (9000, 9600),
                        (62000, 64063)], 0.5) + "+" + square([(13000, 15000)], 0.1),
                square([(20000, 24000), (30000, 30010), (30030, 30040)], 0.3)),
     48000, "-c:a pcm_s16le"),
    # 8-bit mono at 8 kHz, 25 fps: 320 samples per frame.
    ("u8_mono", 30, "25", square([(300, 500), (2000, 2005), (2030, 2035), (5000, 6000), (9300, 9599)], 0.5),
     8000, "-c:a pcm_u8"),
    # An mp3 track: the copy is 16-bit PCM of ffmpeg's decoding.
    ("mp3", 30, "25",
     "%s|%s" % (square([(4000, 9000)], 0.6), square([(20000, 30000)], 0.6)), 44100, "-c:a libmp3lame -b:a 192k"),
]
OPTIONS = [("LR", 50), ("L", 50), ("R", 50), ("LR", 20), ("L", 120)]


def run(cmd):
    r = subprocess.run(cmd, capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit("failed: %s\n%s" % (" ".join(cmd), r.stderr))
    return r.stdout


def make(workdir, probe, fx):
    name, frames, rate, expr, srate, codec = fx
    avi = os.path.join(workdir, name + ".avi")
    wav = os.path.join(workdir, name + ".wav")
    run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
         "color=c=black:s=32x24:r=%s" % rate, "-f", "lavfi", "-i",
         "aevalsrc='%s':s=%d" % (expr, srate), "-frames:v", str(frames), "-t",
         str(frames / eval(rate.replace("/", ".0/")) + 0.0), "-c:v", "mjpeg"] + codec.split() + [avi])
    run([probe, "save-wav", avi, wav])
    return wav


def model(wav, frames, fps, channel, gain):
    """The frames' lines "c detected share" from the WAV bytes alone."""
    import numpy as np
    raw = open(wav, "rb").read()
    riff, = struct.unpack_from("<I", raw, 4)
    chans, rate = struct.unpack_from("<HI", raw, 22)
    bits, = struct.unpack_from("<H", raw, 34)
    data = min(riff - 40, len(raw) - 48)
    B = (4 if chans == 2 else 2) if bits == 16 else (2 if chans == 2 else 1)
    spf = data / B / frames
    spfi = round(spf)  # halves to even, as Python rounds
    nsamples = data // B
    body = np.frombuffer(raw[48:48 + nsamples * B], dtype=np.uint8)
    if bits == 16:
        s = body.view("<i2").astype(np.int64).reshape(nsamples, -1)
        if chans == 2:
            v = {"L": s[:, 0], "R": s[:, 1], "LR": s[:, 0] + s[:, 1]}[channel]
        else:
            v = s[:, 0]
    else:
        s = body.astype(np.int64).reshape(nsamples, -1)
        v = (s[:, 0] + s[:, 1] if channel == "LR" else s[:, 0 if channel == "L" else 1]) if chans == 2 else (s[:, 0] - 128) * 256
    lines = []
    for c in range(frames):
        if c >= 15:
            s0, b, e = round((c - 15) * spf), 15 * spfi, 16 * spfi
        else:
            s0, b, e = 0, c * spfi, (c + 1) * spfi
        if s0 >= nsamples:
            lines.append("%d 0 0.00" % c)
            continue
        blk = v[s0:min(s0 + 48001, nsamples)]
        n = len(blk)
        a = np.rint(blk / 7000.0 * gain)
        loud = np.abs(a) >= 40
        cum = np.concatenate([[0], np.cumsum(loud)])
        idx = np.arange(n)
        before = cum[idx] - cum[np.maximum(idx - 30, 0)] > 0
        after = cum[np.minimum(idx + 31, n)] - cum[idx] > 0
        counted = loud | (before & after)
        lo, hi = max(b, 0), min(e, n)
        det = bool(loud[lo:hi].any()) if hi > lo else False
        count = int(counted[lo:hi].sum()) if hi > lo else 0
        r = round(count * 10000 / spfi) if spfi > 0 else 0
        lines.append("%d %d %d.%02d" % (c, det, r // 100, r % 100))
    return lines


def check_info(probe, workdir):
    """wav-info's lines for a header written here, and its failure exit."""
    wav = os.path.join(workdir, "info.wav")
    data = bytes(480480 * 4)  # 300 frames of 1601.6 stereo 16-bit samples
    head = b"RIFF" + struct.pack("<I", len(data) + 40) + b"WAVEfmt " + struct.pack("<IHHIIHHI", 20, 1, 2, 48000, 192000, 4, 16, 0)
    open(wav, "wb").write(head + b"data" + struct.pack("<I", len(data)) + data)
    want = ["rate 48000", "bits 16", "channels 2", "bytes_per_sample 4", "data_bytes 1921920",
            "samples_per_frame 1601.600000", "samples_per_frame_int 1602", "discordance 0",
            "Edit2 SamplingRate = 48000", "Edit3 Discordance of Video/Audio = 0.000%", "Edit4 Sample/Frame= 1602",
            "Edit5 Data Type : 16 Bit  PCM   [stereo]", "Edit6 Datasize=1921960", "Label1 ", "Edit3.color blue"]
    got = run([probe, "wav-info", wav, "300", "29.97"]).split("\n")[:-1]
    failures = 0
    if got != want:
        print("wav-info:", got)
        failures += 1
    open(wav, "wb").write(head[:40])
    r = subprocess.run([probe, "wav-info", wav, "300", "29.97"], capture_output=True, text=True)
    if r.returncode == 0 or r.stdout or "shorter than 48 bytes" not in r.stderr:
        print("wav-info of 40 bytes:", r.returncode, r.stdout, r.stderr)
        failures += 1
    return failures


def main():
    probe, workdir = sys.argv[1], sys.argv[2]
    write = "--write-golden" in sys.argv
    os.makedirs(workdir, exist_ok=True)
    try:
        import numpy  # noqa: F401
        have_numpy = True
    except ImportError:
        have_numpy = False
    golden = {}
    if os.path.exists(GOLDEN):
        key = None
        for line in open(GOLDEN):
            line = line.rstrip("\n")
            if line.startswith("#"):
                key = line[2:]
                golden[key] = []
            elif key:
                golden[key].append(line)
    out, failures = [], 0
    for fx in FIXTURES:
        name, frames, rate = fx[0], fx[1], fx[2]
        fps = "%.6f" % eval(rate.replace("/", ".0/"))
        wav = make(workdir, probe, fx)
        for channel, gain in OPTIONS:
            key = "%s %s %d" % (name, channel, gain)
            got = run([probe, "sound-frames", wav, str(frames), fps, "--channel", channel, "--gain", str(gain)]).split("\n")[:-1]
            want = model(wav, frames, float(fps), channel, gain) if have_numpy else golden.get(key)
            out.append("# " + key)
            out.extend(want or [])
            if want is None:
                print("no golden lines for", key)
                failures += 1
            elif got != want:
                failures += 1
                for g, w in zip(got, want):
                    if g != w:
                        print("%s: probe %s, expected %s" % (key, g, w))
                if len(got) != len(want):
                    print("%s: %d lines, expected %d" % (key, len(got), len(want)))
            # Something must be detected and something not, or the fixture tests nothing.
            elif not any(l.split()[1] == "1" for l in got) or all(l.split()[1] == "1" for l in got):
                print("%s: fixture without contrast" % key)
                failures += 1
    failures += check_info(probe, workdir)
    if write:
        open(GOLDEN, "w").write("\n".join(out) + "\n")
    if failures:
        sys.exit("%d mismatching cases" % failures)
    print("ok (%s)" % ("numpy model" if have_numpy else "golden file"))


if __name__ == "__main__":
    main()
