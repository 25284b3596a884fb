# Oracle for the colour utilities: reads a raw B,G,R picture (W x H) and prints
# the distinct colours, histograms, grey values, L*a*b* to sRGB (CIE formulas,
# D65 white, linear RGB scaled to bytes) and the inverted colour matrices.
import sys
import numpy as np

path, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
px = np.fromfile(path, dtype=np.uint8).reshape(h, w, 3)
b, g, r = (px[..., i].astype(np.int64) for i in range(3))
print("colors", len(np.unique(b | g << 8 | r << 16)))
for c in range(3):
    print("hist", c, *np.bincount(px[..., c].ravel(), minlength=256))
print("hist", 3, *np.bincount(px.ravel(), minlength=256))
print("grey", *((2 * r + 3 * g + b + 3) // 6).ravel())

L, A, B = np.meshgrid(np.arange(0, 256, 15), np.arange(0, 256, 15), np.arange(0, 256, 15), indexing="ij")
Ls, As, Bs = L * 100 / 255, A - 127.5, B - 127.5
fy = (Ls + 16) / 116
fx, fz = fy + As / 500, fy - Bs / 200
d = 6 / 29
finv = lambda t: np.where(t > d, t**3, 3 * d * d * (t - 4 / 29))
xyz = np.stack([0.950456 * finv(fx), finv(fy), 1.088754 * finv(fz)], -1)
m = np.array([[3.240479, -1.53715, -0.498535], [-0.969256, 1.875992, 0.041556], [0.055648, -0.204043, 1.057311]])
rgb = np.clip(np.floor(xyz @ m.T * 255 + 0.5), 0, 255).astype(int)
for lab, out in zip(np.stack([L, A, B], -1).reshape(-1, 3), rgb.reshape(-1, 3)):
    print("lab", *lab, *out)
ycc = np.array([[0.299, 0.587, 0.114, 0], [0.569, -0.275, -0.321, 127.5], [0.212, -0.523, 0.311, 127.5], [0, 0, 0, 1]])
print("inv_ycc", *np.linalg.inv(ycc).ravel())
xyz4 = np.eye(4)
xyz4[:3, :3] = m
print("inv_xyz", *np.linalg.inv(xyz4).ravel())
