#!/usr/bin/env bash
# A one-minute training run that goes through every step of making the learned reader's
# weights (drawing crops, training, export, the splits) into a temporary folder, then checks
# the C++ network against torch on the run's own model and measures it on the run's
# validation split. Never touches the committed weights.
# Usage: tools/learned/smoke.sh PARITY_TEST_BINARY EVAL_BINARY
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
parity_test="$1"
eval_tool="$2"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
/usr/bin/python3 "$here/train.py" --smoke --jobs 1 --out "$out"
for f in learned_weights.cpp weights.txt parity.txt model.pt val/manifest.tsv test/manifest.tsv; do
	[ -s "$out/$f" ] || { echo "smoke: $f was not written"; exit 1; }
done
OSTRELO_LEARNED_PARITY="$out/parity.txt" OSTRELO_LEARNED_WEIGHTS="$out/weights.txt" \
	"$parity_test" --gtest_filter='LearnedReader.MatchesTorchOnTheExportedCrops'
"$eval_tool" "$out/val" --weights "$out/weights.txt" >"$out/eval.txt"
grep -q "^combined" "$out/eval.txt" || { cat "$out/eval.txt"; exit 1; }
echo "smoke: training, export, parity and evaluation passed"
