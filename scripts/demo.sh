#!/usr/bin/env bash
# The demo on a fresh machine: builds the module, installs it as a user plug-in of OBS Studio
# 30 or newer (Qt 6) and runs a short recorded match through the Vexmoor Stat Reader,
# printing every update that reaches its built-in default live-results endpoint, answered on
# loopback. Ends by itself with a summary; nothing leaves the machine (private network namespace).
#
# If this machine has OBS 30 or newer built with Qt 6, that OBS is used. Otherwise (Debian 12's
# OBS is built with Qt 5) OBS 30 runs in a Debian 13 root made once and cached
# (scripts/obs-root.sh; OSTRELO_OBS_ROOT moves the cache).
#
# Usage: scripts/demo.sh [--screenshot PNG]   (default: build/demo/ostrelo-demo.png)
set -euo pipefail
project="$(cd "$(dirname "$0")/.." && pwd)"
cd "$project"
screenshot="build/demo/ostrelo-demo.png"
while [ $# -gt 0 ]; do
	case "$1" in
	--screenshot)
		screenshot="$2"
		shift 2
		;;
	*)
		sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//' >&2
		exit 2
		;;
	esac
done
mkdir -p "$(dirname "$screenshot")"
screenshot="$(cd "$(dirname "$screenshot")" && pwd)/$(basename "$screenshot")"
case "$screenshot" in
"$project"/*) ;;
*)
	echo "demo: the screenshot must go inside the project folder" >&2
	exit 2
	;;
esac

# OBS 30 or newer, linked against Qt 6: the only OBS that can host our Qt 6 module.
host_obs_fits() {
	local obs version major
	obs="$(command -v obs 2>/dev/null)" || return 1
	version="$(obs --version 2>/dev/null | grep -oE '[0-9]+\.[0-9]+(\.[0-9]+)?' | head -1)" || return 1
	major="${version%%.*}"
	[ -n "$major" ] && [ "$major" -ge 30 ] || return 1
	ldd "$obs" 2>/dev/null | grep -q 'libQt6Core'
}

started=$SECONDS
if host_obs_fits; then
	echo "demo: using this machine's $(obs --version | head -1)"
	"$project/scripts/setup.sh" build demo
	build="$project/build/demo-host"
	cmake -S "$project" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTRELO_BUILD_TESTS=OFF \
		-DOSTRELO_BUILD_TOOLS=ON -DOSTRELO_INSTALL_USER_PLUGIN=ON >/dev/null
	cmake --build "$build" --parallel 2 --target ostrelo-obs ostrelo-hudframes
	isolate=(unshare --net --mount --propagation private)
	[ "$(id -u)" -eq 0 ] || isolate+=(--map-root-user)
	# Private network and mount namespaces: only loopback, so no traffic leaves the machine,
	# and the demo's endpoint answers the filter's built-in default URL there.
	"${isolate[@]}" /bin/sh -c 'ip link set lo up && exec "$@"' sh \
		python3 "$project/tools/realobs/demo.py" --build "$build" --work "$project/build/demo" \
		--screenshot "$screenshot" --private-namespace
else
	echo "demo: no OBS 30+ with Qt 6 here; running OBS 30 in a Debian 13 root"
	"$project/scripts/setup.sh" realobs
	"$project/scripts/obs-root.sh" create
	"$project/scripts/obs-root.sh" build
	"$project/scripts/obs-root.sh" run python3 /src/tools/realobs/demo.py --build /src/build/obs30 \
		--work /src/build/demo --screenshot "/src/${screenshot#"$project"/}" --private-namespace
fi
echo "demo: done in $((SECONDS - started)) s"
