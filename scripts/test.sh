#!/usr/bin/env bash
# Sets up a fresh machine, builds everything with warnings as errors and runs the whole
# test suite: the host tests; the fuzz targets, the suite under ASan and UBSan and the
# threading tests under TSan (scripts/ci-extras.sh); then the end-to-end stage in the real
# OBS 30 (Qt 6), which runs in a Debian 13 root made once and cached (scripts/realobs-test.sh).
# Once built, every stage runs even when an earlier one failed; a summary of their times ends
# the run.
# Usage: scripts/test.sh [extra ctest arguments]
# OSTRELO_SKIP_EXTRAS=1 and OSTRELO_SKIP_REAL_OBS=1 leave those stages out (and say so).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

"$root/scripts/setup.sh"

background=()
root_job=
cleanup() {
	[ ${#background[@]} -eq 0 ] || kill "${background[@]}" 2>/dev/null || true
	# The root is made in a session of its own: stop all of it (debootstrap, apt), not only the script.
	[ -z "$root_job" ] || kill -- "-$root_job" 2>/dev/null || true
}
trap cleanup EXIT

real_obs=1
[ "${OSTRELO_SKIP_REAL_OBS:-0}" = 1 ] && real_obs=0
mkdir -p "$root/build"
if [ $real_obs = 1 ]; then
	# Making the OBS root is mostly download and unpacking: let it overlap the host build.
	setsid "$root/scripts/obs-root.sh" create >"$root/build/obs-root-create.log" 2>&1 &
	root_job=$!
fi

declare -a summary=()
timed() {
	local name="$1" started=$SECONDS result=passed
	shift
	"$@" || result=FAILED
	summary+=("$(printf '  %-10s %-7s %5d s' "$name" "$result" $((SECONDS - started)))")
	[ $result = passed ]
}

build="$root/build/ci"
cmake --preset ci >/dev/null
host_build() { cmake --build "$build" --parallel "$(nproc)"; }
timed build host_build

# One virtual display for every libobs test of the run.
if [ -z "${DISPLAY:-}" ]; then
	for n in $(seq 90 140); do
		[ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
	done
	Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
	background+=($!)
	for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
	export DISPLAY="$display"
fi

status=0
timed ctest ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" "$@" || status=1

if [ "${OSTRELO_SKIP_EXTRAS:-0}" = 1 ]; then
	echo "extras: SKIPPED (OSTRELO_SKIP_EXTRAS=1)"
else
	for stage in fuzz asan tsan; do
		timed "$stage" "$root/scripts/ci-extras.sh" "$stage" || status=1
	done
fi

if [ $real_obs = 0 ]; then
	echo "real OBS: SKIPPED (OSTRELO_SKIP_REAL_OBS=1)"
elif ! wait "$root_job"; then
	root_job=
	cat "$root/build/obs-root-create.log"
	echo "real OBS: could not make the OBS root"
	status=1
else
	root_job=
	cat "$root/build/obs-root-create.log"
	timed "real OBS" "$root/scripts/realobs-test.sh" || status=1
fi

echo "test: summary (the OBS root was made alongside the build and the extras)"
printf '%s\n' "${summary[@]}"
exit $status
