"""Draws HUD-like number crops for training and validating the learned digit reader.

Every crop comes from one integer seed, so a sample is the same whichever process draws it
and in whichever order. A crop is what the filter cuts out of a game frame around a counter:
the number in some face, colour and effect, on a procedural ground (dark panels, sky, sand
haze, snow, smoke, foliage, streets), sometimes with part of an icon at its edge, then
degraded the way a streamed picture is (rescaling, blur, noise, JPEG and video compression).
Some crops hold no number at all; their label is empty.
"""

import io
import math

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

import bright
import faces
import texture

SS = 4  # masks are drawn at this multiple of the crop's resolution, then averaged down
MAX_DIGITS = 6


class Faces:
    """The font files of one split with their weights and measured digit heights."""

    def __init__(self, entries, bitmap_glyphs=None, bitmap_weight=0.0):
        self.entries = list(entries)
        self.bitmap = bitmap_glyphs
        names = [f for f, _ in self.entries]
        weights = [w for _, w in self.entries]
        if bitmap_glyphs is not None and bitmap_weight > 0:
            names.append(faces.BITMAP_FACE)
            weights.append(bitmap_weight)
        self.names = names
        p = np.asarray(weights, dtype=np.float64)
        self.p = p / p.sum()
        self._fonts = {}
        self._metrics = {}

    def pick(self, rng):
        return self.names[int(rng.choice(len(self.names), p=self.p))]

    def font(self, path, size):
        key = (path, size)
        f = self._fonts.get(key)
        if f is None:
            if len(self._fonts) > 400:
                self._fonts.clear()
            f = ImageFont.truetype(path, size, layout_engine=ImageFont.Layout.BASIC)
            self._fonts[key] = f
        return f

    def metrics(self, path):
        """(digit height, top of the digits above the baseline) per unit of font size."""
        m = self._metrics.get(path)
        if m is None:
            size = 200
            font = self.font(path, size)
            img = Image.new("L", (size * 8, size * 2), 0)
            ImageDraw.Draw(img).text((size // 2, int(size * 1.5)), "0123456789", font=font, fill=255, anchor="ls")
            a = np.asarray(img)
            rows = np.nonzero(a.max(axis=1) > 127)[0]
            top = int(size * 1.5) - rows[0]
            bottom = rows[-1] + 1 - int(size * 1.5)
            m = ((top + max(bottom, 0)) / size, top / size)
            self._metrics[path] = m
        return m


def draw_number_mask(fc, face, text, hd_ss, rng):
    """The ink of `text` as an L image whose rows span exactly the digit height hd_ss.

    Returns the image and the width of the text in it; ink may overhang the band a little
    (round digits overshoot the flat ones).
    """
    tracking = rng.uniform(-0.06, 0.16) * hd_ss
    if rng.random() < 0.15:
        tracking = rng.uniform(0.15, 0.45) * hd_ss  # widely spaced counters
    if face == faces.BITMAP_FACE:
        k = hd_ss / 22.0
        gap = rng.uniform(1.0, 4.0) * k + tracking * 0.5
        glyphs = []
        for ch in text:
            options = fc.bitmap[int(ch)]
            g = options[0] if len(options) == 1 or rng.random() < 0.6 else options[int(rng.integers(1, len(options)))]
            glyphs.append(np.asarray(g, dtype=np.uint8) * 255)
        gw = max(1, int(round(14 * k)))
        gh = max(1, int(round(hd_ss)))
        width = int(math.ceil(len(glyphs) * gw + (len(glyphs) - 1) * max(gap, 0))) + 2
        img = Image.new("L", (width, gh), 0)
        x = 0.0
        for g in glyphs:
            gi = Image.fromarray(g).resize((gw, gh), Image.NEAREST)
            img.paste(gi, (int(round(x)), 0))
            x += gw + max(gap, 0)
        return img, width, 0
    dh, top = fc.metrics(face)
    size = max(4, int(round(hd_ss / dh)))
    font = fc.font(face, size)
    asc = int(math.ceil(top * size))
    pad = int(0.25 * size) + 2
    advances = [font.getlength(ch) for ch in text]
    width = int(math.ceil(sum(advances) + tracking * (len(text) - 1))) + 2 * pad
    img = Image.new("L", (max(width, 1), asc + 2 * pad + int(0.1 * size)), 0)
    draw = ImageDraw.Draw(img)
    x = float(pad)
    for ch, adv in zip(text, advances):
        draw.text((x, pad + asc), ch, font=font, fill=255, anchor="ls")
        x += adv + tracking
    a = np.asarray(img)
    cols = np.nonzero(a.max(axis=0) > 0)[0]
    if len(cols) == 0:
        return img, 1, pad
    # Rows: from the digit top (pad) over the digit height; keep what overshoots above.
    x0, x1 = cols[0], cols[-1] + 1
    band_top = pad
    img = img.crop((x0, 0, x1, img.height))
    return img, x1 - x0, band_top


def background(rng, h, w):
    """A procedural ground of h x w pixels, RGB floats 0..1, and its kind."""
    kinds = ["dark", "panel", "gradient", "noise", "sky", "haze", "snow", "smoke", "foliage", "urban", "stripes",
             "blobs", "flat"]
    p = np.array([14, 9, 7, 8, 9, 9, 6, 7, 9, 8, 4, 5, 5], np.float64)
    kind = kinds[int(rng.choice(len(kinds), p=p / p.sum()))]
    yy = np.linspace(0, 1, h, dtype=np.float32)[:, None] * np.ones((1, w), np.float32)
    xx = np.linspace(0, 1, w, dtype=np.float32)[None, :] * np.ones((h, 1), np.float32)
    scale = max(h, w)
    if kind == "flat":
        img = np.broadcast_to(texture.rand_colour(rng), (h, w, 3)).copy()
    elif kind == "dark":
        base = texture.rand_colour(rng, 0.0, 0.22)
        img = texture.mix(base, texture.jitter(rng, base, 0.06), texture.fractal(rng, h, w, scale * rng.uniform(0.2, 1.0)))
    elif kind == "gradient":
        a, b = texture.rand_colour(rng), texture.rand_colour(rng)
        ang = rng.uniform(0, 2 * math.pi)
        t = (xx * math.cos(ang) + yy * math.sin(ang))
        t = (t - t.min()) / max(1e-6, float(t.max() - t.min()))
        img = texture.mix(a, b, t)
    elif kind == "noise":
        a, b = texture.rand_colour(rng), texture.rand_colour(rng)
        img = texture.mix(a, b, texture.fractal(rng, h, w, scale * rng.uniform(0.05, 0.6), octaves=int(rng.integers(1, 5))))
    elif kind == "sky":
        top = np.array([rng.uniform(0.25, 0.6), rng.uniform(0.45, 0.75), rng.uniform(0.7, 1.0)], np.float32)
        horizon = np.clip(top + rng.uniform(0.15, 0.4), 0, 1)
        img = texture.mix(top, horizon, yy * rng.uniform(0.3, 1.0) + rng.uniform(0, 0.4))
        clouds = np.clip(texture.fractal(rng, h, w, scale * rng.uniform(0.3, 1.2), 4) * 1.6 - 0.6, 0, 1)
        img = img * (1 - clouds[..., None]) + np.float32(rng.uniform(0.85, 1.0)) * clouds[..., None]
    elif kind == "haze":
        sand = np.array([rng.uniform(0.7, 0.95), rng.uniform(0.6, 0.85), rng.uniform(0.45, 0.7)], np.float32)
        img = texture.mix(sand, texture.jitter(rng, sand, 0.08), texture.fractal(rng, h, w, scale * rng.uniform(0.1, 0.8), 4))
        img = img + np.float32(rng.uniform(0, 0.12))
    elif kind == "snow":
        white = np.array([rng.uniform(0.8, 1.0)] * 3, np.float32) - np.array([0, 0, -0.02], np.float32)
        rock = texture.rand_colour(rng, 0.2, 0.5)
        n = texture.fractal(rng, h, w, scale * rng.uniform(0.05, 0.4), 3)
        img = texture.mix(white, rock, np.clip((n - rng.uniform(0.55, 0.8)) * 4, 0, 1))
    elif kind == "smoke":
        g = rng.uniform(0.2, 0.75)
        a = np.array([g, g, g], np.float32) + rng.normal(0, 0.03, 3).astype(np.float32)
        b = np.clip(a + rng.uniform(-0.35, 0.35), 0, 1)
        img = texture.mix(a, b, texture.fractal(rng, h, w, scale * rng.uniform(0.3, 1.5), 4))
    elif kind == "foliage":
        greens = [np.array([rng.uniform(0.1, 0.35), rng.uniform(0.25, 0.55), rng.uniform(0.05, 0.25)], np.float32)
                  for _ in range(3)]
        greens.append(np.array([rng.uniform(0.3, 0.5), rng.uniform(0.25, 0.4), rng.uniform(0.1, 0.2)], np.float32))
        img = texture.mix(greens[0], greens[1], texture.fractal(rng, h, w, scale * rng.uniform(0.05, 0.3), 3))
        img = texture.blobs(rng, h, w, img, int(rng.integers(2, 8)), greens + [np.zeros(3, np.float32)])
    elif kind == "urban":
        base = texture.rand_colour(rng, 0.2, 0.7) * np.float32(rng.uniform(0.6, 1.0))
        img = np.broadcast_to(base, (h, w, 3)).copy()
        layer = Image.fromarray((img * 255).astype(np.uint8))
        d = ImageDraw.Draw(layer)
        for _ in range(int(rng.integers(2, 9))):
            c = tuple(int(v) for v in (np.clip(base + rng.uniform(-0.3, 0.3), 0, 1) * 255))
            x0, y0 = rng.uniform(-0.3, 1.0) * w, rng.uniform(-0.3, 1.0) * h
            d.rectangle((x0, y0, x0 + rng.uniform(0.1, 0.8) * w, y0 + rng.uniform(0.1, 0.8) * h), fill=c)
        img = np.asarray(layer, np.float32) / 255.0
    elif kind == "stripes":
        a, b = texture.rand_colour(rng), texture.rand_colour(rng)
        ang = rng.uniform(0, math.pi)
        period = rng.uniform(3, max(4, scale * 0.5))
        t = (xx * w * math.cos(ang) + yy * h * math.sin(ang)) / period
        s = 0.5 + 0.5 * np.sin(t * 2 * math.pi)
        if rng.random() < 0.5:
            s = (s > 0.5).astype(np.float32)
        img = texture.mix(a, b, s.astype(np.float32))
    elif kind == "blobs":
        img = np.broadcast_to(texture.rand_colour(rng), (h, w, 3)).copy()
        img = texture.blobs(rng, h, w, img, int(rng.integers(2, 7)), [texture.rand_colour(rng) for _ in range(3)])
    else:  # panel: a translucent dark HUD panel over a scene
        sub_h, sub_w = h, w
        scene = background_of_kind(rng, sub_h, sub_w)
        alpha = np.float32(rng.uniform(0.35, 0.85))
        tint = texture.rand_colour(rng, 0.0, 0.15)
        img = scene * (1 - alpha) + tint * alpha
    if rng.random() < 0.3:  # vignette or light falloff across the crop
        t = np.clip(xx * rng.uniform(-0.4, 0.4) + yy * rng.uniform(-0.4, 0.4), -0.4, 0.4)
        img = img * (1 + t[..., None])
    return np.clip(img, 0, 1).astype(np.float32), kind


def background_of_kind(rng, h, w):
    img, kind = background(rng, h, w)
    if kind == "panel":  # one level of nesting is enough
        img = texture.mix(texture.rand_colour(rng), texture.rand_colour(rng), texture.fractal(rng, h, w, max(h, w) * 0.5))
    return img


INKS = ["white", "grey", "red", "yellow", "cyan", "orange", "green"]
INK_P = np.array([44, 10, 16, 12, 9, 5, 4], np.float64)


def ink_colour(rng, kind):
    if kind == "white":
        v = rng.uniform(0.88, 1.0)
        c = np.array([v, v, v]) + rng.normal(0, 0.015, 3)
    elif kind == "grey":
        v = rng.uniform(0.55, 0.85)
        c = np.array([v, v, v]) + rng.normal(0, 0.02, 3)
    elif kind == "red":
        c = np.array([rng.uniform(0.75, 1.0), rng.uniform(0.0, 0.3), rng.uniform(0.0, 0.3)])
    elif kind == "yellow":
        c = np.array([rng.uniform(0.85, 1.0), rng.uniform(0.7, 0.95), rng.uniform(0.0, 0.35)])
    elif kind == "cyan":
        c = np.array([rng.uniform(0.0, 0.45), rng.uniform(0.75, 1.0), rng.uniform(0.8, 1.0)])
    elif kind == "orange":
        c = np.array([rng.uniform(0.9, 1.0), rng.uniform(0.45, 0.65), rng.uniform(0.0, 0.2)])
    else:
        c = np.array([rng.uniform(0.2, 0.6), rng.uniform(0.8, 1.0), rng.uniform(0.2, 0.5)])
    return np.clip(c, 0, 1).astype(np.float32)


def _mask_blur(mask, radius):
    return mask.filter(ImageFilter.GaussianBlur(radius)) if radius > 0 else mask


def _grow(mask, radius_ss):
    """A soft dilation: blur, then amplify so the rim reaches about radius_ss."""
    if radius_ss <= 0:
        return mask
    a = np.asarray(mask.filter(ImageFilter.GaussianBlur(radius_ss * 0.6)), np.float32)
    a = np.clip(a * 3.5, 0, 255)
    return Image.fromarray(a.astype(np.uint8))


def _shift(mask, dx, dy):
    out = Image.new("L", mask.size, 0)
    out.paste(mask, (int(round(dx)), int(round(dy))))
    return out


def legible(img, inner, hd):
    """Whether ink (coverage `inner`) differs enough from the ground around it."""
    core = inner > 0.6
    if core.sum() < 3:
        return False
    near = texture.dilate(inner, max(1, int(round(0.15 * hd))))
    ring = (near > 0.5) & (inner < 0.05)
    if ring.sum() < 3:
        return True
    mi, mr = img[core].mean(axis=0), img[ring].mean(axis=0)
    # Brightness counts fully; a difference in hue alone (blue least of all) counts half.
    d = max(0.5 * float(np.abs(mi - mr)[:2].max()), abs(float(texture.luma(mi) - texture.luma(mr))))
    noise = float(texture.luma(img)[ring].std())
    return d >= 0.13 and d >= 1.2 * noise


def draw_icon(rng, d, box, fill):
    """Part of a HUD icon in box (x0, y0, x1, y1) of an L image: skulls, bars, rings, people,
    chevrons, dots."""
    x0, y0, x1, y1 = box
    w, h = x1 - x0, y1 - y0
    kind = ["skull", "bar", "ring", "person", "chevron", "dots", "hbar", "shield", "plus"][int(rng.integers(0, 9))]
    if kind == "skull":
        d.ellipse((x0, y0, x1, y0 + h * 0.75), fill=fill)
        d.rectangle((x0 + w * 0.22, y0 + h * 0.5, x1 - w * 0.22, y1), fill=fill)
        ew = w * 0.2
        d.ellipse((x0 + w * 0.2, y0 + h * 0.3, x0 + w * 0.2 + ew, y0 + h * 0.3 + ew * 1.1), fill=0)
        d.ellipse((x1 - w * 0.2 - ew, y0 + h * 0.3, x1 - w * 0.2, y0 + h * 0.3 + ew * 1.1), fill=0)
    elif kind == "bar":
        bw = w * rng.uniform(0.45, 1.0)
        d.rectangle((x0, y0, x0 + bw, y1), fill=fill)
    elif kind == "hbar":
        bh = h * rng.uniform(0.1, 0.3)
        yb = y0 + rng.uniform(0, h - bh)
        d.rectangle((x0 - w, yb, x1 + w, yb + bh), fill=fill)
    elif kind == "ring":
        t = max(1.0, min(w, h) * rng.uniform(0.12, 0.3))
        d.ellipse((x0, y0, x1, y1), outline=fill, width=int(t))
    elif kind == "person":
        d.ellipse((x0 + w * 0.3, y0, x1 - w * 0.3, y0 + h * 0.38), fill=fill)
        d.pieslice((x0, y0 + h * 0.42, x1, y1 + h * 0.6), 180, 360, fill=fill)
    elif kind == "chevron":
        t = w * 0.35
        d.polygon([(x0, y0), (x0 + t, y0), (x1, (y0 + y1) / 2), (x0 + t, y1), (x0, y1), (x1 - t, (y0 + y1) / 2)],
                  fill=fill)
    elif kind == "dots":
        r = min(w, h) * 0.22
        for k in range(3):
            cy = y0 + h * (0.2 + 0.3 * k)
            d.ellipse(((x0 + x1) / 2 - r, cy - r, (x0 + x1) / 2 + r, cy + r), fill=fill)
    elif kind == "shield":
        d.polygon([(x0, y0), (x1, y0), (x1, y0 + h * 0.55), ((x0 + x1) / 2, y1), (x0, y0 + h * 0.55)], fill=fill)
        d.polygon([(x0 + w * 0.25, y0 + h * 0.15), (x1 - w * 0.25, y0 + h * 0.15), ((x0 + x1) / 2, y1 - h * 0.3)],
                  fill=0)
    else:
        t = w * 0.3
        d.rectangle((x0 + (w - t) / 2, y0, x0 + (w + t) / 2, y1), fill=fill)
        d.rectangle((x0, y0 + (h - t) / 2, x1, y0 + (h + t) / 2), fill=fill)


def random_label(rng):
    r = rng.random()
    if r < 0.34:
        n = 1
    elif r < 0.68:
        n = 2
    elif r < 0.95:
        n = 3
    else:
        n = int(rng.integers(4, MAX_DIGITS + 1))
    if n == 1:
        return str(int(rng.integers(0, 10)))
    first = str(int(rng.integers(1, 10)))
    return first + "".join(str(int(v)) for v in rng.integers(0, 10, n - 1))


def _pick_margin(rng, tight, normal, loose, p=(0.45, 0.4, 0.15)):
    r = rng.random()
    lo, hi = tight if r < p[0] else normal if r < p[0] + p[1] else loose
    return rng.uniform(lo, hi)


def degrade(rng, img, hd):
    """Streamed-picture damage on an RGB float image (h, w, 3) holding digits hd pixels high;
    returns uint8 RGB. The digits never shrink under 7 pixels on the way."""
    h, w = img.shape[:2]
    if rng.random() < 0.3 and min(h, w) >= 8 and hd * 0.85 >= 7:
        f = rng.uniform(max(0.4, 7.0 / hd), 0.85)
        small = Image.fromarray((np.clip(img, 0, 1) * 255 + 0.5).astype(np.uint8)).resize(
            (max(2, int(w * f)), max(2, int(h * f))), [Image.BILINEAR, Image.BOX, Image.BICUBIC][int(rng.integers(0, 3))])
        img = np.asarray(small.resize((w, h), [Image.BILINEAR, Image.BICUBIC][int(rng.integers(0, 2))]),
                         np.float32) / 255.0
    pil = Image.fromarray((np.clip(img, 0, 1) * 255 + 0.5).astype(np.uint8))
    if rng.random() < 0.3:
        pil = pil.filter(ImageFilter.GaussianBlur(rng.uniform(0.3, 1.1)))
    a = np.asarray(pil, np.float32)
    if rng.random() < 0.35:
        a = a + rng.normal(0, rng.uniform(1.0, 8.0), a.shape).astype(np.float32)
    if rng.random() < 0.2:
        g = rng.uniform(0.7, 1.4)
        a = 255.0 * (np.clip(a, 0, 255) / 255.0) ** g
    pil = Image.fromarray(np.clip(a + 0.5, 0, 255).astype(np.uint8))
    r = rng.random()
    if r < 0.45:
        buf = io.BytesIO()
        pil.save(buf, "JPEG", quality=int(rng.integers(25, 92)), subsampling=int(rng.integers(0, 3)))
        pil = Image.open(io.BytesIO(buf.getvalue())).convert("RGB")
    elif r < 0.6:
        # Video coding: chroma at half resolution, then blocky quantisation.
        ycc = pil.convert("YCbCr")
        y, cb, cr = ycc.split()
        half = (max(1, w // 2), max(1, h // 2))
        cb = cb.resize(half, Image.BOX).resize((w, h), Image.BILINEAR)
        cr = cr.resize(half, Image.BOX).resize((w, h), Image.BILINEAR)
        pil = Image.merge("YCbCr", (y, cb, cr)).convert("RGB")
        buf = io.BytesIO()
        pil.save(buf, "JPEG", quality=int(rng.integers(25, 70)))
        pil = Image.open(io.BytesIO(buf.getvalue())).convert("RGB")
    return np.asarray(pil, np.uint8)


class Layout:
    """Where the number (or, in a crop without one, nothing) and any icon sit in a crop and the
    context around it: masks at SS times the context's resolution, W x H pixels of context of
    which the crop is w x h at (cl, ct)."""

    def __init__(self, **kw):
        self.__dict__.update(kw)


def layout(rng, fc, negative):
    label = "" if negative else random_label(rng)
    face = fc.pick(rng)
    if rng.random() < 0.5:
        hd = math.exp(rng.uniform(math.log(9), math.log(48)))
    else:
        hd = rng.uniform(12, 24)
    text = label if label else random_label(rng)
    hd_ss = hd * SS
    tmask, tw_ss, band_top = draw_number_mask(fc, face, text, hd_ss, rng)
    tw = tw_ss / SS

    # A rectangle drawn by hand around a counter is often loose: up to one and a half digit
    # heights of ground above and below, two and a half beside.
    mt = _pick_margin(rng, (-0.05, 0.15), (0.1, 0.45), (0.4, 1.5)) * hd
    mb = _pick_margin(rng, (-0.05, 0.15), (0.1, 0.45), (0.4, 1.5)) * hd
    ml = _pick_margin(rng, (0.0, 0.2), (0.1, 0.7), (0.5, 2.5), (0.4, 0.4, 0.2)) * hd
    mr = _pick_margin(rng, (0.0, 0.2), (0.1, 0.7), (0.5, 2.5), (0.4, 0.4, 0.2)) * hd

    icon_side = None
    if rng.random() < (0.55 if negative else 0.22):
        icon_side = "left" if rng.random() < 0.6 else "right"
        vis = rng.uniform(0.2, 1.1) * hd
        gap = rng.uniform(0.2, 0.7) * hd
        if icon_side == "left":
            ml = max(ml, vis + gap)
        else:
            mr = max(mr, vis + gap)

    w = max(6, int(round(ml + tw + mr)))
    h = max(6, int(round(mt + hd + mb)))
    # Context around the crop: compression blocks and blur do not start at its edge.
    cl, ct = int(rng.integers(0, 8)), int(rng.integers(0, 8))
    cr, cb = 4, 4
    W, H = w + cl + cr, h + ct + cb

    Wss, Hss = W * SS, H * SS
    ox = (cl + ml) * SS + rng.uniform(0, SS)
    oy = (ct + mt) * SS - band_top + rng.uniform(0, SS)
    ink_mask = Image.new("L", (Wss, Hss), 0)
    if not negative:
        if face != faces.BITMAP_FACE and rng.random() < 0.12:
            # Slightly lighter or heavier strokes than the face's own.
            r = max(1, int(round(hd_ss * rng.uniform(0.01, 0.04))))
            tmask = tmask.filter(ImageFilter.MaxFilter(2 * (r // 2) + 1) if rng.random() < 0.5 else
                                 ImageFilter.MinFilter(3))
        if rng.random() < 0.08:
            shear = rng.uniform(-0.18, 0.18)
            tmask = tmask.transform(tmask.size, Image.AFFINE, (1, shear, -shear * tmask.height / 2, 0, 1, 0),
                                    Image.BILINEAR)
        ink_mask.paste(tmask, (int(round(ox)), int(round(oy))))
    icon_mask = Image.new("L", (Wss, Hss), 0)
    if icon_side:
        isz = hd * rng.uniform(0.7, 1.5) * SS
        iw = isz * rng.uniform(0.6, 1.2)
        cut = rng.uniform(0.1, 0.7) * iw
        iy0 = (ct + mt) * SS + hd_ss / 2 - isz / 2 + rng.uniform(-0.2, 0.2) * hd_ss
        if icon_side == "left":
            ix0 = cl * SS - cut
        else:
            ix0 = (cl + w) * SS - iw + cut
        draw_icon(rng, ImageDraw.Draw(icon_mask), (ix0, iy0, ix0 + iw, iy0 + isz), 255)
    if negative and rng.random() < 0.25:
        # Streaks and scratches: ink-like strokes that are no digits.
        d = ImageDraw.Draw(icon_mask)
        for _ in range(int(rng.integers(1, 4))):
            d.line([(rng.uniform(0, Wss), rng.uniform(0, Hss)), (rng.uniform(0, Wss), rng.uniform(0, Hss))], fill=255,
                   width=max(1, int(rng.uniform(0.05, 0.2) * hd_ss)))
    return Layout(ss=SS, label=label, face=face, hd=hd, negative=negative, icon_side=icon_side, w=w, h=h, cl=cl, ct=ct, W=W,
                  H=H, ink_mask=ink_mask, icon_mask=icon_mask)


def compose(rng, lay):
    """Any ground, ink and effect: returns the context as RGB floats and the info fields."""
    W, H, hd = lay.W, lay.H, lay.hd
    bg, bg_kind = background(rng, H, W)
    ink_kind = INKS[int(rng.choice(len(INKS), p=INK_P / INK_P.sum()))]
    ink = ink_colour(rng, ink_kind)
    ink_mask, icon_mask = lay.ink_mask, lay.icon_mask

    # Effects are soft: draw them at twice the crop's resolution, not at SS.
    E = 2
    hd_e = hd * E
    both = Image.fromarray(np.maximum(np.asarray(ink_mask), np.asarray(icon_mask))).resize((W * E, H * E), Image.BOX)
    effect = rng.choice(["none", "outline", "shadow", "glow", "outline+shadow"], p=[0.28, 0.24, 0.3, 0.1, 0.08])
    layers = []  # (mask L image, colour, opacity)
    dark = np.array([rng.uniform(0, 0.12)] * 3, np.float32)
    if "shadow" in effect:
        off = rng.uniform(0.04, 0.12) * hd_e
        sh = _shift(both, off * rng.uniform(0.3, 1.0), off)
        sh = _mask_blur(sh, rng.uniform(0, 0.08) * hd_e)
        layers.append((sh, dark, rng.uniform(0.5, 1.0)))
    if "glow" in effect:
        g = _grow(both, rng.uniform(0.06, 0.2) * hd_e)
        g = _mask_blur(g, rng.uniform(0.04, 0.12) * hd_e)
        gc = dark if rng.random() < 0.6 else np.clip(ink * rng.uniform(0.3, 0.8), 0, 1)
        layers.append((g, gc, rng.uniform(0.5, 0.95)))
    if "outline" in effect:
        o = _grow(both, max(E * 0.8, rng.uniform(0.04, 0.12) * hd_e))
        oc = dark if rng.random() < 0.8 else texture.rand_colour(rng)
        layers.append((o, oc, rng.uniform(0.7, 1.0)))
    icon_colour = ink if rng.random() < 0.6 else ink_colour(rng, INKS[int(rng.integers(0, len(INKS)))])
    layers.append((icon_mask, icon_colour, 1.0))
    layers.append((ink_mask, ink, 1.0))

    # Low contrast: pull the ground towards the ink, as haze or a bright sky does.
    if rng.random() < 0.12:
        t = np.float32(rng.uniform(0.2, 0.55))
        bg = bg * (1 - t) + ink[None, None, :] * t * np.float32(rng.uniform(0.6, 0.9))

    img = bg
    if ink_kind in ("white", "grey") and rng.random() < 0.15:
        # A vertical gradient in the ink, as some HUDs draw it.
        ink_img = ink[None, None, :] * np.linspace(rng.uniform(0.8, 1.0), rng.uniform(0.8, 1.0), H, dtype=np.float32)[
            :, None, None]
    else:
        ink_img = None
    inner = None
    for m, colour, opacity in layers:
        a = np.asarray(m.resize((W, H), Image.BOX), np.float32)[..., None] / 255.0
        if m is ink_mask:
            inner = a[..., 0]
        a = a * np.float32(opacity)
        c = ink_img if (ink_img is not None and m is ink_mask) else colour[None, None, :]
        img = img * (1 - a) + c * a

    # Make sure a human could read it: the ink must stand out from what surrounds it by more
    # than that surrounding varies. HUDs give faint digits a dark rim; so does the generator.
    if not lay.negative and inner is not None:
        for _ in range(2):
            if legible(img, inner, hd):
                break
            rim = texture.dilate(inner, max(1, int(round(0.08 * hd))))
            img = img * (1 - 0.9 * rim[..., None]) + dark[None, None, :] * 0.9 * rim[..., None]
            img = img * (1 - inner[..., None]) + ink[None, None, :] * inner[..., None]

    return img, {"ink": ink_kind, "effect": str(effect), "ground": bg_kind, "scene": "any"}


def make_sample(seed, fc, negative_rate=0.07):
    """One crop: (RGB uint8 array h x w x 3, label string, info dict)."""
    rng = np.random.default_rng(seed)
    negative = rng.random() < negative_rate
    lay = layout(rng, fc, negative)
    if rng.random() < bright.SCENE_RATE:
        # Judged after the damage, as a viewer sees it; when no attempt reads, an ordinary scene.
        inner = texture.coverage(lay.ink_mask, lay.W, lay.H)
        for attempt in range(bright.ATTEMPTS):
            img, info = bright.compose(rng, lay, background_of_kind, attempt == bright.ATTEMPTS - 1)
            out = degrade(rng, img, lay.hd)
            if lay.negative or bright.legible(out.astype(np.float32) / 255.0, inner, lay.hd):
                break
        else:
            img, info = compose(rng, lay)
            out = degrade(rng, img, lay.hd)
    else:
        img, info = compose(rng, lay)
        out = degrade(rng, img, lay.hd)
    out = out[lay.ct:lay.ct + lay.h, lay.cl:lay.cl + lay.w]
    info.update({"face": lay.face, "hd": lay.hd, "icon": lay.icon_side or "", "w": lay.w, "h": lay.h})
    return out, lay.label, info
