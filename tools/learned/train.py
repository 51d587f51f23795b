#!/usr/bin/python3
"""Trains the learned digit reader and writes its C++ weight table.

    /usr/bin/python3 tools/learned/train.py --out build/learned [--install] [--extra DIR ...]

Draws the training crops (cached in OUT/cache), a validation and a test split (training
faces and held-out faces, each its own seed), trains, prints accuracy per split, and writes
OUT/learned_weights.cpp, OUT/weights.txt, OUT/parity.txt and the splits as PNG crops with a
manifest (OUT/val, OUT/test) for ostrelo-learned-eval. --install copies the weight table and
the parity vectors into the source tree (digits/, tests/data/learned/). --smoke is a run of
about a minute that exercises every step and installs nothing.

--extra DIR (repeatable) adds real crops, as `ostrelo-corpus import` writes them into its
learned/ folder, to the training crops: each is repeated so that together they make up about
--extra-share of every epoch (at most MAX_EXTRA_REPEATS times each). They never go into the
validation or test split; --extra-holdout F keeps a fixed share F of them out of training and
writes it as its own split, OUT/extra-test.

Runs are deterministic: one torch thread, seeded generators, sample seeds that do not depend
on the number of processes; the same command and seed give the same weight file byte for byte.
"""

import argparse
import os
import random
import shutil
import sys
import time

import numpy as np
import torch
from PIL import Image

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import dataset  # noqa: E402
import export  # noqa: E402
import faces  # noqa: E402
import net  # noqa: E402
import prep  # noqa: E402

REPO = os.path.dirname(os.path.dirname(HERE))
START = time.time()
MAX_EXTRA_REPEATS = 20


def log(msg):
    print("[%6.0fs] %s" % (time.time() - START, msg), flush=True)


def standardise(img_u8):
    """A scaled crop (uint8) -> the network's input canvas, as prep.prepare makes it."""
    sh, sw = img_u8.shape[:2]
    x = img_u8.astype(np.float32) / 255.0
    mean = float(x.mean())
    std = max(float(x.std()), prep.MIN_STD)
    out = np.zeros((3, prep.HEIGHT, prep.canvas_width(sw)), np.float32)
    top = (prep.HEIGHT - sh) // 2
    out[:, top:top + sh, :sw] = ((x - mean) / std).transpose(2, 0, 1)
    return out


def batches(pool, widths, batch, rng):
    """Index lists of one epoch (the crops of pool, an index may come more than once), each
    list of one canvas width, in a seeded order."""
    order = pool[rng.permutation(len(pool))]
    pending = {}
    out = []
    for i in order:
        b = pending.setdefault(int(widths[i]), [])
        b.append(int(i))
        if len(b) == batch:
            out.append(b)
            pending[int(widths[i])] = []
    out += [b for _, b in sorted(pending.items()) if len(b) >= 8]
    perm = rng.permutation(len(out))
    return [out[k] for k in perm]


def targets_of(labels):
    flat = [1 + int(c) for s in labels for c in s]
    return torch.tensor(flat, dtype=torch.long), torch.tensor([len(s) for s in labels], dtype=torch.long)


def greedy(scores):
    """scores T x 11 -> digit string."""
    best = scores.argmax(axis=1)
    out, prev = [], 0
    for k in best:
        if k != prev and k != 0:
            out.append(str(k - 1))
        prev = k
    return "".join(out)


def run_network(model, canvases):
    """Scores (T x 11, float32) for each canvas, batched by width."""
    model.eval()
    results = [None] * len(canvases)
    by_width = {}
    for i, c in enumerate(canvases):
        by_width.setdefault(c.shape[2], []).append(i)
    with torch.no_grad():
        for _, idx in sorted(by_width.items()):
            for s in range(0, len(idx), 256):
                part = idx[s:s + 256]
                x = torch.from_numpy(np.stack([canvases[i] for i in part]))
                y = model(x).permute(0, 2, 1).numpy()
                for k, i in enumerate(part):
                    results[i] = y[k]
    return results


def sequence_confidence(scores, text):
    """Probability of `text` under CTC (all alignments), as the C++ reader computes it."""
    lp = torch.log_softmax(torch.from_numpy(scores), dim=1)[:, None, :]
    tg, ln = targets_of([text])
    nll = torch.nn.functional.ctc_loss(lp, tg, torch.tensor([lp.shape[0]]), ln, blank=0, reduction="sum",
                                       zero_infinity=True)
    return float(torch.exp(-nll))


def evaluate(model, samples, name, thresholds=(0.0, 0.5, 0.8, 0.9, 0.95)):
    canvases = [prep.prepare(rgb)[0] for rgb, _, _ in samples]
    scores = run_network(model, canvases)
    reads = []
    for s in scores:
        text = greedy(s)
        reads.append((text, sequence_confidence(s, text) if text else 0.0))
    present = set(info["faces"] for _, _, info in samples)
    for faceset in [f for f in ("train", "heldout", "extra") if f in present]:
        idx = [i for i, (_, _, info) in enumerate(samples) if info["faces"] == faceset]
        pos = [i for i in idx if samples[i][1]]
        neg = [i for i in idx if not samples[i][1]]
        for t in thresholds:
            c = sum(1 for i in pos if reads[i][0] == samples[i][1] and reads[i][1] >= t)
            w = sum(1 for i in pos if reads[i][0] and reads[i][0] != samples[i][1] and reads[i][1] >= t)
            fneg = sum(1 for i in neg if reads[i][0] and reads[i][1] >= t)
            n = max(len(pos), 1)
            log("%s %-7s conf>=%.2f: correct %5.1f%%  wrong %4.1f%%  none %5.1f%%  (of %d)  read on empty %d/%d" % (
                name, faceset, t, 100.0 * c / n, 100.0 * w / n, 100.0 * (len(pos) - c - w) / n, len(pos), fneg,
                len(neg)))
    return scores


def write_split(folder, samples):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "manifest.tsv"), "w", encoding="utf-8", newline="\n") as f:
        f.write("# file\tlabel\tfaces\tface\theight\tink\teffect\tground\ticon\n")
        for i, (rgb, label, info) in enumerate(samples):
            name = "%05d.png" % i
            a = np.concatenate([rgb, np.full(rgb.shape[:2] + (1,), 255, np.uint8)], axis=2)
            Image.fromarray(a, "RGBA").save(os.path.join(folder, name), optimize=False, compress_level=1)
            f.write("%s\t%s\t%s\t%s\t%.1f\t%s\t%s\t%s\t%s\n" % (
                name, label if label else "-", info["faces"], os.path.basename(info["face"]), info["hd"], info["ink"],
                info["effect"], info["ground"], info["icon"] or "-"))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--out", required=True, help="folder for the model, weights, splits and cache")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--train-samples", type=int, default=180000)
    ap.add_argument("--epochs", type=int, default=5)
    ap.add_argument("--batch", type=int, default=64)
    ap.add_argument("--lr", type=float, default=4e-3)
    ap.add_argument("--eval-samples", type=int, default=2000, help="per face set, in each of val and test")
    ap.add_argument("--jobs", type=int, default=2, help="processes that draw crops")
    ap.add_argument("--cache", help="where drawn training crops are kept (default OUT/cache)")
    ap.add_argument("--extra", action="append", default=[], metavar="DIR",
                    help="real crops to train on as well: a folder with labels.csv (ostrelo-corpus import)")
    ap.add_argument("--extra-share", type=float, default=0.05,
                    help="share of every epoch the extra crops make up (default 0.05)")
    ap.add_argument("--extra-holdout", type=float, default=0.0,
                    help="share of the extra crops kept out of training, written as OUT/extra-test")
    ap.add_argument("--smoke", action="store_true", help="a tiny run of about a minute; installs nothing")
    ap.add_argument("--install", action="store_true",
                    help="copy the weights to digits/learned_weights.cpp and the parity vectors to tests/data/learned")
    args = ap.parse_args()
    if args.smoke:
        args.train_samples, args.epochs, args.eval_samples = 3000, 1, 100
        if args.install:
            ap.error("--smoke never installs")

    faces.check_faces()
    torch.set_num_threads(1)
    torch.use_deterministic_algorithms(True)
    random.seed(args.seed)
    np.random.seed(args.seed)
    torch.manual_seed(args.seed)
    os.makedirs(args.out, exist_ok=True)
    cache = args.cache or os.path.join(args.out, "cache")

    ts = dataset.build_training_set(args.seed, args.train_samples, args.jobs, REPO, cache, log)
    log("training crops: %d" % len(ts))
    pool = np.arange(len(ts))
    extra_train, extra_test = [], []
    for folder in args.extra:
        for name, rgb, label in dataset.read_extra(folder):
            if dataset.held_out(name, args.extra_holdout):
                extra_test.append((rgb, label, {"faces": "extra", "face": name, "hd": rgb.shape[0], "ink": "-",
                                                "effect": "-", "ground": "-", "icon": ""}))
            else:
                extra_train.append((dataset.scaled(rgb), label))
    if extra_train:
        share = min(max(args.extra_share, 0.0), 0.9)
        repeats = int(min(MAX_EXTRA_REPEATS, max(1, round(share * len(ts) / ((1 - share) * len(extra_train))))))
        first = len(ts)
        ts = ts.extended(dataset.TrainingSet.of([img for img, _ in extra_train], [lb for _, lb in extra_train]))
        pool = np.concatenate([pool, np.repeat(np.arange(first, len(ts)), repeats)])
        log("extra crops: %d for training, each %d times an epoch (%.1f%% of it); %d held out" % (
            len(extra_train), repeats, 100.0 * (len(pool) - first) / len(pool), len(extra_test)))
    val = dataset.build_eval_split(args.seed, "val", args.eval_samples, args.jobs, REPO)
    test = dataset.build_eval_split(args.seed, "test", args.eval_samples, args.jobs, REPO)
    log("validation and test crops: %d + %d" % (len(val), len(test)))

    model = net.DigitNet()
    widths = np.array([prep.canvas_width(int(w)) for _, w in ts.sizes], np.int32)
    log("parameters: %d" % sum(p.numel() for p in model.parameters()))
    rng = np.random.default_rng([args.seed, 99])
    epochs = [batches(pool, widths, args.batch, rng) for _ in range(args.epochs)]
    steps = sum(len(e) for e in epochs)
    opt = torch.optim.AdamW(model.parameters(), lr=args.lr, weight_decay=1e-4)
    sched = torch.optim.lr_scheduler.OneCycleLR(opt, max_lr=args.lr, total_steps=steps, pct_start=0.15)
    ctc = torch.nn.CTCLoss(blank=0, reduction="mean", zero_infinity=True)
    step = 0
    for e, epoch in enumerate(epochs):
        model.train()
        total = 0.0
        for b, idx in enumerate(epoch):
            imgs = [ts.image(i) for i in idx]
            # Other ink colours for free: swap the colour channels of some crops.
            perms = rng.random(len(idx)) < 0.25
            imgs = [img[:, :, rng.permutation(3)] if p else img for img, p in zip(imgs, perms)]
            x = torch.from_numpy(np.stack([standardise(img) for img in imgs]))
            labels = [ts.labels[i] for i in idx]
            tg, tl = targets_of(labels)
            lp = torch.log_softmax(model(x), dim=1).permute(2, 0, 1)  # T x N x C
            loss = ctc(lp, tg, torch.full((len(idx),), lp.shape[0], dtype=torch.long), tl)
            opt.zero_grad()
            loss.backward()
            torch.nn.utils.clip_grad_norm_(model.parameters(), 5.0)
            opt.step()
            sched.step()
            step += 1
            total += float(loss)
            if (b + 1) % 500 == 0:
                log("epoch %d step %d/%d loss %.4f" % (e + 1, b + 1, len(epoch), total / 500))
                total = 0.0
        evaluate(model, val[:1000] + val[len(val) // 2:len(val) // 2 + 1000], "epoch %d val" % (e + 1), (0.0,))

    model.eval()
    evaluate(model, val, "val")
    evaluate(model, test, "test")
    if extra_test:
        evaluate(model, extra_test, "extra-test")
    torch.save(model.state_dict(), os.path.join(args.out, "model.pt"))
    provenance = "Command: tools/learned/train.py --seed %d --train-samples %d --epochs %d --batch %d --lr %g" % (
        args.seed, args.train_samples, args.epochs, args.batch, args.lr)
    if extra_train:
        provenance += " --extra (%d real crops from %d folders, share %g)" % (len(extra_train), len(args.extra),
                                                                             args.extra_share)
    n = export.write_weights_cpp(os.path.join(args.out, "learned_weights.cpp"), model, provenance)
    export.write_weights_text(os.path.join(args.out, "weights.txt"), model)
    log("weights: %d floats" % n)

    # Parity: a handful of small test crops of both face sets, and what torch makes of them.
    small = [i for i, (rgb, _, _) in enumerate(test) if rgb.shape[0] * rgb.shape[1] <= 1600]
    half = len(test) // 2
    pick = [i for i in small if i < half][:4] + [i for i in small if i >= half][:3]
    crops = [test[i][0] for i in pick]
    crops.append(np.full((7, 5, 3), 200, np.uint8))  # smaller than the canvas's minimum
    crops.append(np.tile(test[pick[0]][0], (1, 6, 1)))  # wider than the network takes: scaled by width
    scores = run_network(model, [prep.prepare(c)[0] for c in crops])
    export.write_parity(os.path.join(args.out, "parity.txt"), crops, scores)

    write_split(os.path.join(args.out, "val"), val)
    write_split(os.path.join(args.out, "test"), test)
    if extra_test:
        write_split(os.path.join(args.out, "extra-test"), extra_test)
    if args.install:
        shutil.copyfile(os.path.join(args.out, "learned_weights.cpp"), os.path.join(REPO, "digits", "learned_weights.cpp"))
        os.makedirs(os.path.join(REPO, "tests", "data", "learned"), exist_ok=True)
        shutil.copyfile(os.path.join(args.out, "parity.txt"), os.path.join(REPO, "tests", "data", "learned", "parity.txt"))
        log("installed digits/learned_weights.cpp and tests/data/learned/parity.txt")
    log("done")


if __name__ == "__main__":
    main()
