"""Bright scenes: light HUD digits (white, light grey, pale yellow) over snow fields, an overcast
sky, sun glare on sand, fog, a screen-wide flash or bright concrete.

Games keep such digits legible with little: a drop shadow of one to three pixels, a thin dark
outline, a faint darkening behind the number, or nothing but the digits being a little
brighter (or darker) than the ground. A crop a human could not read is drawn again with
another ink and effect (judged after the streaming damage, as a viewer sees it); the last
attempt gets a hard dark shadow, which reads on nearly any bright ground, and when even that
does not read the crop becomes an ordinary scene.
"""

import numpy as np
from PIL import Image, ImageDraw, ImageFilter

import texture

SCENE_RATE = 0.22  # share of all crops drawn as a bright scene

GROUNDS = ("snowfield", "overcast", "glare", "fog", "flash", "concrete")
GROUND_P = np.array([22, 16, 16, 16, 16, 14], np.float64)
INKS = ("white", "light-grey", "pale-yellow")
INK_P = np.array([60, 22, 18], np.float64)
EFFECTS = ("shadow", "outline", "backing", "shadow+outline", "none")
EFFECT_P = np.array([34, 20, 14, 10, 22], np.float64)

ATTEMPTS = 4
MIN_EDGE = 0.09  # luminance step between the strokes and the rim around them
MIN_EDGE_OVER_NOISE = 2.0


def _pick(rng, names, p):
    return names[int(rng.choice(len(names), p=p / p.sum()))]


def ground(rng, h, w, scene):
    """A bright ground of h x w pixels (RGB floats 0..1) and its kind; scene(rng, h, w) draws an
    ordinary one for fog and flashes to wash out."""
    kind = _pick(rng, GROUNDS, GROUND_P)
    yy = np.linspace(0, 1, h, dtype=np.float32)[:, None] * np.ones((1, w), np.float32)
    xx = np.linspace(0, 1, w, dtype=np.float32)[None, :] * np.ones((h, 1), np.float32)
    scale = max(h, w)
    if kind == "snowfield":
        v = rng.uniform(0.86, 1.0)
        white = np.array([v - rng.uniform(0, 0.04), v - rng.uniform(0, 0.02), v], np.float32)
        shade = np.array([-0.1, -0.06, -0.01], np.float32) * np.float32(rng.uniform(0.3, 1.0))
        drifts = texture.fractal(rng, h, w, scale * rng.uniform(0.2, 1.2), 3)
        img = white[None, None, :] + shade[None, None, :] * drifts[..., None]
        if rng.random() < 0.3:  # rocks, tracks or a tree line breaking through
            rock = texture.rand_colour(rng, 0.15, 0.5)
            n = texture.fractal(rng, h, w, scale * rng.uniform(0.08, 0.4), 3)
            t = np.clip((n - rng.uniform(0.68, 0.85)) * 6, 0, 1)
            img = img * (1 - t[..., None]) + rock[None, None, :] * t[..., None]
    elif kind == "overcast":
        v = rng.uniform(0.78, 0.98)
        top = texture.jitter(rng, np.array([v, v, v], np.float32), 0.02)
        bottom = np.clip(top + rng.uniform(-0.08, 0.06), 0, 1)
        img = texture.mix(top, bottom, yy)
        clouds = texture.fractal(rng, h, w, scale * rng.uniform(0.4, 1.5), 4) - 0.5
        img = img + clouds[..., None] * np.float32(rng.uniform(0.02, 0.1))
    elif kind == "glare":
        sand = np.array([rng.uniform(0.85, 1.0), rng.uniform(0.78, 0.95), rng.uniform(0.6, 0.85)], np.float32)
        img = texture.mix(sand, texture.jitter(rng, sand, 0.05), texture.fractal(rng, h, w, scale * rng.uniform(0.1, 0.8)))
        cx, cy = rng.uniform(-0.5, 1.5), rng.uniform(-1.0, 0.5)
        r2 = ((xx - cx) * w / scale) ** 2 + ((yy - cy) * h / scale) ** 2
        sun = np.exp(-r2 / np.float32(rng.uniform(0.1, 1.0)))
        img = img + (1 - img) * sun[..., None] * np.float32(rng.uniform(0.3, 0.9))
    elif kind == "fog":
        g = rng.uniform(0.72, 0.95)
        fog = texture.jitter(rng, np.array([g, g, g], np.float32), 0.02)
        density = rng.uniform(0.55, 0.9) + (texture.fractal(rng, h, w, scale * rng.uniform(0.3, 1.2)) - 0.5) * 0.2
        density = np.clip(density, 0, 1)[..., None]
        img = scene(rng, h, w) * (1 - density) + fog[None, None, :] * density
    elif kind == "flash":
        f = np.float32(rng.uniform(0.6, 0.97))
        tint = texture.jitter(rng, np.ones(3, np.float32), 0.03)
        img = scene(rng, h, w) * (1 - f) + tint[None, None, :] * f
    else:  # concrete: light, fine-grained, stained, with seams
        v = rng.uniform(0.62, 0.88)
        base = texture.jitter(rng, np.array([v, v * rng.uniform(0.96, 1.0), v * rng.uniform(0.9, 1.0)], np.float32),
                              0.01)
        grain = texture.fractal(rng, h, w, rng.uniform(1.5, 4.0), 2) - 0.5
        img = base[None, None, :] + grain[..., None] * np.float32(rng.uniform(0.04, 0.12))
        stains = texture.fractal(rng, h, w, scale * rng.uniform(0.2, 0.8), 3)
        img = img - np.clip(stains - 0.55, 0, 1)[..., None] * np.float32(rng.uniform(0.1, 0.4))
        if rng.random() < 0.5:
            layer = Image.new("L", (w, h), 0)
            d = ImageDraw.Draw(layer)
            for _ in range(int(rng.integers(1, 3))):
                if rng.random() < 0.5:
                    x = rng.uniform(0, w)
                    d.line([(x, 0), (x + rng.uniform(-2, 2), h)], fill=255, width=1)
                else:
                    y = rng.uniform(0, h)
                    d.line([(0, y), (w, y + rng.uniform(-2, 2))], fill=255, width=1)
            seam = np.asarray(layer, np.float32)[..., None] / 255.0
            img = img * (1 - seam * np.float32(rng.uniform(0.1, 0.3)))
    if rng.random() < 0.25:  # light falloff across the crop
        t = np.clip(xx * rng.uniform(-0.15, 0.15) + yy * rng.uniform(-0.15, 0.15), -0.15, 0.15)
        img = img * (1 + t[..., None])
    return np.clip(img, 0, 1).astype(np.float32), kind


def ink_colour(rng, kind):
    if kind == "white":
        v = rng.uniform(0.92, 1.0)
        c = np.array([v, v, v]) + rng.normal(0, 0.01, 3)
    elif kind == "light-grey":
        v = rng.uniform(0.72, 0.9)
        c = np.array([v, v, v]) + rng.normal(0, 0.015, 3)
    else:
        c = np.array([rng.uniform(0.95, 1.0), rng.uniform(0.9, 1.0), rng.uniform(0.55, 0.8)])
    return np.clip(c, 0, 1).astype(np.float32)


def _shift(mask, dx, dy):
    out = Image.new("L", mask.size, 0)
    out.paste(mask, (int(round(dx)), int(round(dy))))
    return out


def _grow(mask, r, hard):
    """The mask widened by r pixels (of the mask): a Gaussian of r / 2 cut where it has fallen
    to about 2.5 %, about r pixels from the edge; soft, the cut fades over r / 2."""
    b = np.asarray(mask.filter(ImageFilter.GaussianBlur(max(r, 0.5) / 2)), np.float32) / 255.0
    a = (b >= 0.025).astype(np.float32) if hard else np.clip(b / 0.05, 0, 1)
    return Image.fromarray((np.maximum(a, np.asarray(mask, np.float32) / 255.0) * 255).astype(np.uint8))


def _dark(rng):
    """Shadows and outlines are near black most of the time, sometimes mid grey."""
    g = rng.uniform(0, 0.15) if rng.random() < 0.65 else rng.uniform(0.3, 0.55)
    return np.array([g, g, g], np.float32)


def _band(rng, lay, inner):
    """A soft horizontal strip behind the number, darker in its middle than at its ends."""
    H, W = inner.shape
    cols = np.nonzero(inner.max(axis=0) > 0.3)[0]
    rows = np.nonzero(inner.max(axis=1) > 0.3)[0]
    if len(cols) == 0:
        x0, x1, y0, y1 = 0, W, 0, H
    else:
        x0, x1, y0, y1 = cols[0], cols[-1] + 1, rows[0], rows[-1] + 1
    pad_x, pad_y = rng.uniform(0.2, 1.5) * lay.hd, rng.uniform(0.05, 0.4) * lay.hd
    xs = np.arange(W, dtype=np.float32) + 0.5
    ys = np.arange(H, dtype=np.float32) + 0.5
    fx = np.clip(np.minimum(xs - (x0 - pad_x), (x1 + pad_x) - xs) / max(pad_x, 1.0), 0, 1)
    fy = np.clip(np.minimum(ys - (y0 - pad_y), (y1 + pad_y) - ys) / max(pad_y, 1.0), 0, 1)
    return fy[:, None] * fx[None, :]


def layers(rng, lay, effect, inner):
    """What is drawn under the ink for an effect: (coverage H x W, colour, opacity), in order."""
    ss, W, H = lay.ss, lay.W, lay.H
    both = Image.fromarray(np.maximum(np.asarray(lay.ink_mask), np.asarray(lay.icon_mask)))
    px = float(np.clip(lay.hd / 18.0, 0.75, 2.0)) * ss  # one pixel of a 1080p HUD, in mask pixels
    out = []
    if "shadow" in effect:
        dy = rng.uniform(1.0, 3.0) * px
        sh = _shift(both, dy * rng.uniform(-0.3, 1.0), dy)
        if rng.random() < 0.5:
            sh = sh.filter(ImageFilter.GaussianBlur(rng.uniform(0.3, 1.2) * px))
        out.append((sh, _dark(rng), rng.uniform(0.45, 1.0)))
    if "outline" in effect:
        o = _grow(both, rng.uniform(0.6, 1.6) * px, rng.random() < 0.5)
        out.append((o, _dark(rng), rng.uniform(0.55, 1.0)))
    if effect == "backing":
        if rng.random() < 0.5:
            halo = _grow(both, rng.uniform(0.15, 0.45) * lay.hd * ss, False)
            halo = halo.filter(ImageFilter.GaussianBlur(rng.uniform(0.1, 0.3) * lay.hd * ss))
            out.append((halo, _dark(rng), rng.uniform(0.12, 0.4)))
        else:
            band = _band(rng, lay, inner)
            out.append((band, _dark(rng), rng.uniform(0.12, 0.45)))
    return [(m if isinstance(m, np.ndarray) else texture.coverage(m, W, H), c, o)
            for m, c, o in out]


def edge_contrast(img, inner, hd):
    """How clearly the strokes stand out where they are faintest: for windows of about half a
    digit along the number, the mean luminance step between the strokes and the clearer half
    of a thin rim around them (a shadow or outline on part of the edge is enough to see the
    shapes), the smallest over the windows; and how much the ground beyond the rim varies."""
    lum = texture.luma(img)
    core = inner > 0.6
    if core.sum() < 3:
        return 0.0, 1.0
    near = texture.dilate(inner, max(1, int(round(0.1 * hd))))
    ring = (near > 0.5) & (inner < 0.05)
    far = (texture.dilate(inner, max(2, int(round(0.4 * hd)))) > 0.5) & (near < 0.05)
    noise = float(lum[far].std()) if far.sum() >= 3 else 0.0
    cols = np.nonzero(core.any(axis=0))[0]
    step = max(2, int(round(0.5 * hd)))
    edge = None
    for x0 in range(int(cols[0]), int(cols[-1]) + 1, step):
        c, r = core[:, x0:x0 + step], ring[:, x0:x0 + step]
        if c.sum() < 3 or r.sum() < 3:
            continue
        window = lum[:, x0:x0 + step]
        steps = np.sort(np.abs(window[r] - float(window[c].mean())))
        e = float(steps[len(steps) // 2:].mean())
        edge = e if edge is None else min(edge, e)
    return (1.0 if edge is None else edge), noise


def legible(img, inner, hd):
    edge, noise = edge_contrast(img, inner, hd)
    return edge >= MIN_EDGE and edge >= MIN_EDGE_OVER_NOISE * noise


def compose(rng, lay, scene, last):
    """One attempt at a bright scene for a layout: the context as RGB floats and the info
    fields. The last attempt draws a hard dark shadow and no flash over the HUD."""
    W, H = lay.W, lay.H
    inner = texture.coverage(lay.ink_mask, W, H)
    icon = texture.coverage(lay.icon_mask, W, H)
    bg, kind = ground(rng, H, W, scene)
    ink_kind = _pick(rng, INKS, INK_P)
    ink = ink_colour(rng, ink_kind)
    effect = "shadow" if last else _pick(rng, EFFECTS, EFFECT_P)
    img = bg
    for cov, colour, opacity in layers(rng, lay, effect, inner):
        a = cov[..., None] * np.float32(1.0 if last else opacity)
        img = img * (1 - a) + (np.zeros(3, np.float32) if last else colour)[None, None, :] * a
    icon_colour = ink if rng.random() < 0.7 else ink_colour(rng, _pick(rng, INKS, INK_P))
    img = img * (1 - icon[..., None]) + icon_colour[None, None, :] * icon[..., None]
    ink_img = ink[None, None, :]
    if rng.random() < 0.15:  # a vertical gradient in the ink, as some HUDs draw it
        ink_img = ink_img * np.linspace(rng.uniform(0.85, 1.0), rng.uniform(0.85, 1.0), H, dtype=np.float32)[
            :, None, None]
    img = img * (1 - inner[..., None]) + ink_img * inner[..., None]
    if not last and rng.random() < 0.12:
        # A flash drawn over the HUD as well: the shadows wash out with the ground.
        f = np.float32(rng.uniform(0.1, 0.45))
        img = img * (1 - f) + f
    info = {"ink": ink_kind, "effect": effect, "ground": kind, "scene": "bright"}
    return np.clip(img, 0, 1).astype(np.float32), info
