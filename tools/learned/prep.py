"""What the reader does to a crop before the network sees it; digits/learned_reader.cpp does
exactly the same in C++.

The crop is scaled by area averaging so that it is HEIGHT pixels high (or, when that would
make it wider than MAX_WIDTH, so that it is MAX_WIDTH wide and centred vertically), placed at
the left of a canvas whose width is a multiple of WIDTH_STEP (at least MIN_WIDTH), and
standardised: minus the mean of its R, G and B values, divided by their standard deviation
(never less than MIN_STD). The canvas outside the scaled crop is 0.
"""

import functools

import numpy as np

HEIGHT = 24
MAX_WIDTH = 128
WIDTH_STEP = 8
MIN_WIDTH = 16
MIN_STD = 0.04


def scaled_size(w, h):
    """Width and height of the scaled crop (integer arithmetic, rounding half up)."""
    if w * HEIGHT <= MAX_WIDTH * h:
        return max(1, (w * HEIGHT + h // 2) // h), HEIGHT
    return MAX_WIDTH, max(1, (h * MAX_WIDTH + w // 2) // w)


def canvas_width(sw):
    return max(MIN_WIDTH, (sw + WIDTH_STEP - 1) // WIDTH_STEP * WIDTH_STEP)


@functools.lru_cache(maxsize=4096)
def area_weights(n, out):
    """out x n matrix: output pixel i averages source pixels over [i n / out, (i + 1) n / out)."""
    m = np.zeros((out, n), np.float64)
    scale = n / out
    for i in range(out):
        a, b = i * scale, (i + 1) * scale
        k0, k1 = int(np.floor(a)), min(n, int(np.ceil(b)))
        for k in range(k0, k1):
            m[i, k] = (min(b, k + 1) - max(a, k)) / scale
    return m


def prepare(rgb):
    """RGB uint8 array (h, w, 3) -> float32 array (3, HEIGHT, canvas width) and the scaled width."""
    h, w = rgb.shape[:2]
    sw, sh = scaled_size(w, h)
    x = rgb.astype(np.float64) / 255.0
    ry, rx = area_weights(h, sh), area_weights(w, sw)
    scaled = np.einsum("ij,jkc->ikc", ry, np.einsum("jk,ikc->ijc", rx, x))  # sh x sw x 3
    mean = scaled.mean()
    std = max(float(np.sqrt(((scaled - mean) ** 2).mean())), MIN_STD)
    cw = canvas_width(sw)
    out = np.zeros((3, HEIGHT, cw), np.float32)
    top = (HEIGHT - sh) // 2
    out[:, top:top + sh, :sw] = ((scaled - mean) / std).transpose(2, 0, 1)
    return out, sw
