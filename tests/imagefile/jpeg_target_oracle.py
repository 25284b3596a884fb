# Replays the JPEG loader's quality search for a file-size target over the sizes
# that cjpeg writes, independently of the program.
# usage: jpeg_target_oracle.py PICTURE.ppm START TARGET...   prints "TARGET QUALITY COMPRESSIONS" per target
import subprocess
import sys

picture, start = sys.argv[1], int(sys.argv[2])
sizes = {}


def size(q):
    if q not in sizes:
        sizes[q] = len(subprocess.run(['cjpeg', '-quality', str(q), '-baseline', picture],
                                      check=True, capture_output=True).stdout)
    return sizes[q]


for target in map(int, sys.argv[3:]):
    q, low, high, count = start, 1, start + 1, 0
    while True:
        s = size(q)
        count += 1
        if s <= target:
            if s == target or q >= 100 or high == q + 1:
                break
            low = q
        else:
            high = q
            if high < 2:
                break
        q = (low + high) // 2
    print(target, q, count)
