#!/usr/bin/env bash
# The real-OBS stage of the test suite: OBS Studio 30 (Qt 6) in a Debian 13 root loads the
# module as a user plug-in and is driven end to end (tests/realobs/realobs_test.py).
# The root is made once and cached (scripts/obs-root.sh); the module build is incremental.
set -euo pipefail
project="$(cd "$(dirname "$0")/.." && pwd)"
started=$SECONDS
step() {
	local t=$SECONDS
	"$@"
	echo "real OBS: $2 took $((SECONDS - t)) s"
}
step "$project/scripts/obs-root.sh" create
step "$project/scripts/obs-root.sh" build
step "$project/scripts/obs-root.sh" run python3 /src/tests/realobs/realobs_test.py \
	--build /src/build/obs30 --work /src/build/realobs-e2e
echo "real OBS: stage took $((SECONDS - started)) s"
