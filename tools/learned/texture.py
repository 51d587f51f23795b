"""Building blocks of the procedural grounds: value noise, colours, soft blobs, dilation."""

import numpy as np
from PIL import Image, ImageDraw, ImageFilter


def luma(rgb):
    return 0.30 * rgb[..., 0] + 0.59 * rgb[..., 1] + 0.11 * rgb[..., 2]


def value_noise(rng, h, w, cell):
    gh = max(2, int(h / cell) + 2)
    gw = max(2, int(w / cell) + 2)
    g = rng.random((gh, gw)).astype(np.float32)
    img = Image.fromarray((g * 255).astype(np.uint8)).resize((w + int(cell) * 2, h + int(cell) * 2), Image.BICUBIC)
    ox = int(rng.integers(0, int(cell) + 1))
    oy = int(rng.integers(0, int(cell) + 1))
    return np.asarray(img, dtype=np.float32)[oy:oy + h, ox:ox + w] / 255.0


def fractal(rng, h, w, base, octaves=3, falloff=0.5):
    out = np.zeros((h, w), np.float32)
    amp, total, cell = 1.0, 0.0, base
    for _ in range(octaves):
        out += amp * value_noise(rng, h, w, max(cell, 1.5))
        total += amp
        amp *= falloff
        cell /= 2.0
    return out / total


def mix(a, b, t):
    return a[None, None, :] * (1 - t[..., None]) + b[None, None, :] * t[..., None]


def rand_colour(rng, lo=0.0, hi=1.0):
    """A colour of brightness lo..hi; game scenes are mostly muted, now and then vivid."""
    v = rng.uniform(lo, hi)
    sat = rng.uniform(0.0, 0.35) if rng.random() < 0.8 else rng.uniform(0.35, 1.0)
    hue = rng.random(3)
    c = v * (1 - sat) + sat * v * hue / max(1e-6, hue.max())
    return np.clip(c, 0, 1).astype(np.float32)


def jitter(rng, c, amount):
    return np.clip(c + rng.normal(0, amount, 3).astype(np.float32), 0, 1)


def blobs(rng, h, w, img, n, colours, soft=True):
    layer = Image.new("L", (w * 2, h * 2), 0)
    out = img
    for _ in range(n):
        layer = Image.new("L", (w * 2, h * 2), 0)
        d = ImageDraw.Draw(layer)
        cx, cy = rng.uniform(-0.2, 1.2) * w * 2, rng.uniform(-0.2, 1.2) * h * 2
        rx, ry = rng.uniform(0.05, 0.6) * w * 2, rng.uniform(0.05, 0.6) * h * 2
        d.ellipse((cx - rx, cy - ry, cx + rx, cy + ry), fill=255)
        if soft:
            layer = layer.filter(ImageFilter.GaussianBlur(rng.uniform(0.5, 4.0)))
        m = np.asarray(layer.resize((w, h), Image.BOX), np.float32)[..., None] / 255.0
        c = colours[int(rng.integers(0, len(colours)))]
        out = out * (1 - m * rng.uniform(0.4, 1.0)) + c[None, None, :] * m * rng.uniform(0.4, 1.0)
    return out


def dilate(mask, r):
    """Grey dilation of a float mask (0..1) by r pixels."""
    m = Image.fromarray((np.clip(mask, 0, 1) * 255).astype(np.uint8))
    for _ in range(r):
        m = m.filter(ImageFilter.MaxFilter(3))
    return np.asarray(m, np.float32) / 255.0


def coverage(mask, w, h):
    """A mask drawn at a multiple of w x h (L image) as coverage 0..1 per pixel (h x w floats)."""
    return np.asarray(mask.resize((w, h), Image.BOX), np.float32) / 255.0
