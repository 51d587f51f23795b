"""The type faces the generator draws digits in, and the faces kept out of training.

Every face is a font file from a Debian package (scripts/packages/learned.txt installs them)
or the reader's own 7 x 11 bitmap font, read from digits/glyph_templates.cpp so the two never
drift apart.
"""

import os
import re

# (file, weight): how often a face is drawn relative to the others. Condensed bold sans faces
# are what HUD counters mostly look like, so they come up more often; the rest widen the
# range of shapes (round, square, monospaced, segment display, oblique).
TRAINING_FACES = [
    ("/usr/share/fonts/truetype/roboto/unhinted/RobotoCondensed-Bold.ttf", 3),
    ("/usr/share/fonts/truetype/roboto/unhinted/RobotoCondensed-Medium.ttf", 1),
    ("/usr/share/fonts/truetype/roboto/unhinted/RobotoCondensed-BoldItalic.ttf", 0.5),
    ("/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Bold.ttf", 1),
    ("/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Black.ttf", 1),
    ("/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf", 2),
    ("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", 1),
    ("/usr/share/fonts/opentype/bebas-neue/BebasNeue-Bold.otf", 2),
    ("/usr/share/fonts/opentype/bebas-neue/BebasNeue-Regular.otf", 1),
    ("/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Bold.ttf", 2),
    ("/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf", 1),
    ("/usr/share/fonts/opentype/urw-base35/NimbusSansNarrow-Bold.otf", 2),
    ("/usr/share/fonts/opentype/urw-base35/NimbusSansNarrow-BoldOblique.otf", 0.5),
    ("/usr/share/fonts/opentype/urw-base35/NimbusSans-Bold.otf", 1),
    ("/usr/share/fonts/truetype/opendin/OSP-DIN.ttf", 2),
    ("/usr/share/fonts/truetype/adf/SwitzeraADF-BoldCond.otf", 2),
    ("/usr/share/fonts/truetype/adf/SwitzeraADF-DmBdCond.otf", 1),
    ("/usr/share/fonts/truetype/adf/SwitzeraADF-Bold.otf", 1),
    ("/usr/share/fonts/truetype/adf/GilliusADF-BoldCond.otf", 2),
    ("/usr/share/fonts/truetype/adf/GilliusADFNo2-BoldCond.otf", 1),
    ("/usr/share/fonts/opentype/play/Play-Bold.otf", 2),
    ("/usr/share/fonts/opentype/inter/InterDisplay-Bold.otf", 1),
    ("/usr/share/fonts/opentype/inter/InterDisplay-Black.otf", 1),
    ("/usr/share/fonts/truetype/lato/Lato-Bold.ttf", 1),
    ("/usr/share/fonts/truetype/lato/Lato-Black.ttf", 1),
    ("/usr/share/fonts/truetype/croscore/Arimo-Bold.ttf", 1),
    ("/usr/share/fonts/truetype/crosextra/Carlito-Bold.ttf", 1),
    ("/usr/share/fonts/opentype/league-spartan/LeagueSpartan-Bold.otf", 1),
    ("/usr/share/fonts/opentype/league-spartan/LeagueSpartan-Black.otf", 0.5),
    ("/usr/share/fonts/opentype/b612/B612-Bold.otf", 1),
    ("/usr/share/fonts/truetype/freefont/FreeSansBold.ttf", 1),
    ("/usr/share/fonts/truetype/noto/NotoSansDisplay-Bold.ttf", 1),
    ("/usr/share/fonts/truetype/noto/NotoSans-Bold.ttf", 0.5),
    ("/usr/share/fonts/truetype/dseg/DSEG7Classic-Bold.ttf", 0.7),
    ("/usr/share/fonts/truetype/dseg/DSEG7Modern-Bold.ttf", 0.5),
    ("/usr/share/fonts/truetype/jetbrains-mono/JetBrainsMono-Bold.ttf", 1),
    ("/usr/share/fonts/truetype/firacode/FiraCode-Bold.ttf", 1),
    ("/usr/share/fonts/truetype/hack/Hack-Bold.ttf", 0.5),
    ("/usr/share/fonts/opentype/mplus/Mplus1-Bold.otf", 1),
    ("/usr/share/fonts/opentype/mplus/Mplus2-Black.otf", 0.5),
]

# Never drawn for training: crops in these faces stand for a game font nobody trained on.
# Their whole families stay out (other weights of a held-out face would leak its shapes).
HELD_OUT_FACES = [
    "/usr/share/fonts/truetype/paratype/PTN77F.ttf",  # PT Sans Narrow Bold
    "/usr/share/fonts/truetype/open-sans/OpenSans-CondBold.ttf",  # Open Sans Condensed Bold
    "/usr/share/fonts/truetype/adf/UniversalisADFStd-BoldCond.otf",  # Universalis ADF Std BoldCond
    "/usr/share/fonts/opentype/cantarell/Cantarell-Bold.otf",  # Cantarell Bold
]
HELD_OUT_FAMILIES = ("/paratype/", "/open-sans/", "UniversalisADF", "/cantarell/")

# Stands for the reader's own bitmap font (and its alternative digit shapes) drawn at 2x.
BITMAP_FACE = "builtin-7x11"
BITMAP_WEIGHT = 2


def check_faces():
    """Fails loudly when a face is missing or a training face belongs to a held-out family."""
    missing = [f for f, _ in TRAINING_FACES if not os.path.exists(f)]
    missing += [f for f in HELD_OUT_FACES if not os.path.exists(f)]
    if missing:
        raise SystemExit("missing font files (run scripts/setup.sh learned):\n  " + "\n  ".join(missing))
    for f, _ in TRAINING_FACES:
        if any(tag in f for tag in HELD_OUT_FAMILIES):
            raise SystemExit("training face from a held-out family: " + f)


def _table_body(source, name):
    m = re.search(name + r"\s*=\s*\{\{(.*?)\}\};", source, re.S)
    if not m:
        raise SystemExit("cannot find %s in digits/glyph_templates.cpp" % name)
    return m.group(1)


def bitmap_glyphs(repo_root):
    """The built-in digits as 22 x 14 lists of 0/1 rows: {digit: [glyph, ...]}.

    The 7 x 11 font is doubled to 14 x 22 as the reader draws it; the alternative shapes are
    14 x 22 already.
    """
    with open(os.path.join(repo_root, "digits", "glyph_templates.cpp"), encoding="utf-8") as f:
        source = f.read()
    glyphs = {d: [] for d in range(10)}
    font = re.findall(r"\{((?:0x[0-9A-Fa-f]{2},?\s*){11})\}", _table_body(source, "digitFont"))
    if len(font) != 10:
        raise SystemExit("digitFont: expected 10 rows, found %d" % len(font))
    for d, row in enumerate(font):
        bits = [int(v, 16) for v in re.findall(r"0x[0-9A-Fa-f]+", row)]
        glyphs[d].append([[1 if bits[y // 2] & (64 >> (x // 2)) else 0 for x in range(14)] for y in range(22)])
    alts = re.findall(r"\{(\d),\s*\{([^}]*)\}\}", _table_body(source, "altGlyphs"))
    if len(alts) != 9:
        raise SystemExit("altGlyphs: expected 9 entries, found %d" % len(alts))
    for digit, masks in alts:
        rows = [int(v, 16) for v in re.findall(r"0x[0-9A-Fa-f]+", masks)]
        glyphs[int(digit)].append([[1 if r & (0x2000 >> x) else 0 for x in range(14)] for r in rows])
    return glyphs
