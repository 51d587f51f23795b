#!/usr/bin/env bash
# A one-minute training run that goes through every step of making the learned reader's
# weights (drawing crops, training, export, the splits) into a temporary folder, then checks
# the C++ network against torch on the run's own model and measures it on the run's
# validation split. Real captures come in as a user's would: a screenshot with labelled
# counters, imported with ostrelo-corpus and trained on with half of them held out. Never
# touches the committed weights.
# Usage: tools/learned/smoke.sh PARITY_TEST_BINARY EVAL_BINARY CORPUS_BINARY
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
parity_test="$1"
eval_tool="$2"
corpus_tool="$3"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

mkdir -p "$out/shots"
/usr/bin/python3 - "$out/shots" <<'EOF'
import sys
from PIL import Image, ImageDraw, ImageFont
folder = sys.argv[1]
font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf", 20)
img = Image.new("RGB", (480, 120), (40, 46, 52))
d = ImageDraw.Draw(img)
lines = []
for k, (stat, value) in enumerate([("kills", 13), ("deaths", 7), ("score", 2450), ("players_left", 96),
                                   ("teams_left", 31), ("wins", 4), ("kills", 108), ("teams_left", 0)]):
    x, y = 10 + 115 * (k % 4), 15 + 55 * (k // 4)
    d.text((x + 6, y + 4), str(value), font=font, fill=(235, 235, 235))
    lines.append("shot.png %s %d,%d,%d,%d %d" % (stat, x, y, 16 + 13 * len(str(value)), 30, value))
img.save(folder + "/shot.png")
open(folder + "/labels.txt", "w").write("# image stat x,y,w,h value\n" + "\n".join(lines) + "\n")
EOF
"$corpus_tool" import "$out/shots/labels.txt" "$out/real"

/usr/bin/python3 "$here/train.py" --smoke --jobs 1 --out "$out" --extra "$out/real/learned" --extra-holdout 0.5 |
	tee "$out/train.log"
for f in learned_weights.cpp weights.txt parity.txt model.pt val/manifest.tsv test/manifest.tsv \
	extra-test/manifest.tsv; do
	[ -s "$out/$f" ] || { echo "smoke: $f was not written"; exit 1; }
done
# Half of the eight imported crops train (each repeated), the other half only measure.
grep -q "extra crops: 4 for training, each [0-9]* times an epoch .*; 4 held out" "$out/train.log" ||
	{ echo "smoke: the imported crops were not split 4 and 4"; exit 1; }
[ "$(grep -vc '^#' "$out/extra-test/manifest.tsv")" = 4 ] || { echo "smoke: extra-test is not 4 crops"; exit 1; }
OSTRELO_LEARNED_PARITY="$out/parity.txt" OSTRELO_LEARNED_WEIGHTS="$out/weights.txt" \
	"$parity_test" --gtest_filter='LearnedReader.MatchesTorchOnTheExportedCrops'
"$eval_tool" "$out/val" --weights "$out/weights.txt" >"$out/eval.txt"
grep -q "^combined" "$out/eval.txt" || { cat "$out/eval.txt"; exit 1; }
"$eval_tool" "$out/extra-test" --weights "$out/weights.txt" >"$out/eval-extra.txt"
grep -q "extra faces" "$out/eval-extra.txt" || { cat "$out/eval-extra.txt"; exit 1; }
echo "smoke: training, real captures, export, parity and evaluation passed"
