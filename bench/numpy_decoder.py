#!/usr/bin/env python3
"""Reference for the kxdump benchmark: the work of `kxdump --summary` written
the vectorised NumPy way, over the frames at 256-byte boundaries only (no
resynchronisation): checksum, unpack of the 52 counts, accumulation by mode.
Prints the good frames and each mode's frames and total count.

    numpy_decoder.py RECORDING
"""
import sys

import numpy as np

data = np.fromfile(sys.argv[1], dtype=np.uint8)
frames = data[: len(data) // 256 * 256].reshape(-1, 256)
words = frames.view(">u2")
good = frames[(words[:, :127].sum(axis=1, dtype=np.uint32) & 0xFFFF) == words[:, 127]]
packed = good[:, 166:244].reshape(-1, 26, 3).astype(np.int64)
counts = np.empty((len(good), 52), dtype=np.int64)
counts[:, 0::2] = packed[:, :, 0] << 4 | packed[:, :, 1] >> 4
counts[:, 1::2] = (packed[:, :, 1] & 0x0F) << 8 | packed[:, :, 2]
modes = good[:, 5] & 3
spectrum = np.stack([counts[modes == mode].sum(axis=0) for mode in range(4)])
print(len(good), np.bincount(modes, minlength=4).tolist(), spectrum.sum(axis=1).tolist())
