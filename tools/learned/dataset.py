"""Generated crops in bulk: the training set (cached on disk between runs) and the
validation and test splits. A sample's seed is (run seed, split, index), so a split is the
same whatever the number of worker processes."""

import csv
import hashlib
import multiprocessing
import os

import numpy as np
from PIL import Image

import faces
import prep
import synth

SPLIT_IDS = {"train": 1, "val": 2, "test": 3}
CHUNK = 500

_faces = {}


def _face_set(name, repo_root):
    fc = _faces.get(name)
    if fc is None:
        if name == "train":
            fc = synth.Faces(faces.TRAINING_FACES, faces.bitmap_glyphs(repo_root), faces.BITMAP_WEIGHT)
        else:
            fc = synth.Faces([(f, 1) for f in faces.HELD_OUT_FACES])
        _faces[name] = fc
    return fc


def sample_seed(seed, split, index):
    return [seed, SPLIT_IDS[split], index]


def scaled(rgb):
    """A crop scaled by area to the network's height (or width), as uint8."""
    h, w = rgb.shape[:2]
    sw, sh = prep.scaled_size(w, h)
    ry, rx = prep.area_weights(h, sh), prep.area_weights(w, sw)
    x = rgb.astype(np.float64)
    out = np.einsum("ij,jkc->ikc", ry, np.einsum("jk,ikc->ijc", rx, x))
    return np.clip(out + 0.5, 0, 255).astype(np.uint8)


def _scaled_chunk(args):
    """Training samples [start, end): each scaled to the network's height, kept as bytes."""
    seed, start, end, repo_root = args
    fc = _face_set("train", repo_root)
    out = []
    for i in range(start, end):
        rgb, label, _ = synth.make_sample(sample_seed(seed, "train", i), fc)
        out.append((scaled(rgb), label))
    return out


def generator_digest():
    """Changes whenever the code that draws or scales crops changes."""
    h = hashlib.sha256()
    here = os.path.dirname(os.path.abspath(__file__))
    for name in ("synth.py", "bright.py", "texture.py", "faces.py", "prep.py", "dataset.py"):
        with open(os.path.join(here, name), "rb") as f:
            h.update(f.read())
    return h.hexdigest()[:16]


class TrainingSet:
    """Scaled crops (uint8, at most 24 x 128 x 3) with labels, stored flat."""

    def __init__(self, pixels, offsets, sizes, labels):
        self.pixels, self.offsets, self.sizes, self.labels = pixels, offsets, sizes, labels

    @staticmethod
    def of(images, labels):
        sizes = np.array([img.shape[:2] for img in images], np.int32).reshape(-1, 2)
        lengths = sizes[:, 0] * sizes[:, 1] * 3
        offsets = np.concatenate([[0], np.cumsum(lengths)[:-1]]).astype(np.int64)[:len(images)]
        pixels = np.concatenate([img.reshape(-1) for img in images]) if images else np.zeros(0, np.uint8)
        return TrainingSet(pixels, offsets, sizes, list(labels))

    def extended(self, other):
        """This set followed by another one's crops."""
        return TrainingSet(np.concatenate([self.pixels, other.pixels]),
                           np.concatenate([self.offsets, other.offsets + len(self.pixels)]),
                           np.concatenate([self.sizes, other.sizes]), self.labels + other.labels)

    def __len__(self):
        return len(self.labels)

    def image(self, i):
        h, w = self.sizes[i]
        o = self.offsets[i]
        return self.pixels[o:o + h * w * 3].reshape(h, w, 3)

    def save(self, path):
        np.savez(path, pixels=self.pixels, offsets=self.offsets, sizes=self.sizes,
                 labels=np.array(self.labels, dtype="U8"))

    @staticmethod
    def load(path):
        z = np.load(path)
        return TrainingSet(z["pixels"], z["offsets"], z["sizes"], [str(s) for s in z["labels"]])


def build_training_set(seed, count, jobs, repo_root, cache_dir, log):
    path = os.path.join(cache_dir, "train-%s-s%d-n%d.npz" % (generator_digest(), seed, count))
    if os.path.exists(path):
        log("training crops: cached %s" % path)
        return TrainingSet.load(path)
    log("training crops: drawing %d with %d processes" % (count, jobs))
    tasks = [(seed, s, min(count, s + CHUNK), repo_root) for s in range(0, count, CHUNK)]
    images, labels = [], []
    ctx = multiprocessing.get_context("fork")
    with ctx.Pool(jobs) as pool:
        for k, chunk in enumerate(pool.imap(_scaled_chunk, tasks)):
            for img, label in chunk:
                images.append(img)
                labels.append(label)
            if (k + 1) % 40 == 0:
                log("  %d / %d" % (len(labels), count))
    ts = TrainingSet.of(images, labels)
    os.makedirs(cache_dir, exist_ok=True)
    tmp = path + ".tmp.npz"
    ts.save(tmp)
    os.replace(tmp, path)
    return ts


def _eval_chunk(args):
    seed, split, faceset, start, end, repo_root = args
    fc = _face_set(faceset, repo_root)
    out = []
    for i in range(start, end):
        # Held-out crops take their own index range so the two face sets never share a seed.
        idx = i + (1 << 30 if faceset == "heldout" else 0)
        rgb, label, info = synth.make_sample(sample_seed(seed, split, idx), fc)
        info["faces"] = faceset
        out.append((rgb, label, info))
    return out


def build_eval_split(seed, split, per_faceset, jobs, repo_root):
    """Crops at full resolution: per_faceset in training faces, as many in held-out faces."""
    tasks = []
    for faceset in ("train", "heldout"):
        tasks += [(seed, split, faceset, s, min(per_faceset, s + CHUNK), repo_root)
                  for s in range(0, per_faceset, CHUNK)]
    ctx = multiprocessing.get_context("fork")
    with ctx.Pool(jobs) as pool:
        return [s for chunk in pool.imap(_eval_chunk, tasks) for s in chunk]


def read_extra(folder):
    """Crops of a folder written by `ostrelo-corpus import` (its learned/ folder): labels.csv
    with the header file,value, file relative to the folder, value the number shown (empty for
    a crop without one). Returns [(file, RGB uint8 array, label)], file as labels.csv names it."""
    path = os.path.join(folder, "labels.csv")
    out = []
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f))
    if not rows or [c.strip() for c in rows[0]] != ["file", "value"]:
        raise SystemExit("%s: the first line must be file,value" % path)
    for line, row in enumerate(rows[1:], start=2):
        if not row or (len(row) == 1 and not row[0].strip()):
            continue
        if len(row) != 2:
            raise SystemExit("%s:%d: expected file,value" % (path, line))
        name, label = row[0].strip(), row[1].strip()
        if label and (not label.isdigit() or len(label) > synth.MAX_DIGITS or (len(label) > 1 and label[0] == "0")):
            raise SystemExit("%s:%d: %r is not a number of 1 to %d digits" % (path, line, label, synth.MAX_DIGITS))
        try:
            rgb = np.asarray(Image.open(os.path.join(folder, name)).convert("RGB"), np.uint8)
        except OSError as e:
            raise SystemExit("%s:%d: %s" % (path, line, e))
        out.append((name, rgb, label))
    return out


def held_out(name, fraction):
    """Whether a crop stays out of training: a fixed share of the crops, chosen by a hash of
    its file name in labels.csv, so that the choice is the same in every run and wherever the
    folder lives."""
    h = int(hashlib.sha256(name.encode("utf-8")).hexdigest()[:8], 16)
    return h < fraction * (1 << 32)
