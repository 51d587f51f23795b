#!/bin/sh
# Runs inside the Debian 13 root (see scripts/obs-root.sh): builds the module against the
# root's libobs 30 and Qt 6.8 with warnings as errors, and the HUD frame tool. The build tree stays in
# build/obs30 of the project, so later runs rebuild only what changed.
# Usage: build-module.sh [source folder] [build folder]
set -eu
src="${1:-/src}"
build="${2:-$src/build/obs30}"
cmake -S "$src" -B "$build" -G Ninja \
	-DCMAKE_BUILD_TYPE=RelWithDebInfo \
	-DOSTRELO_WERROR=ON \
	-DOSTRELO_BUILD_TESTS=OFF \
	-DOSTRELO_BUILD_BENCHMARKS=OFF \
	-DOSTRELO_BUILD_FUZZERS=OFF \
	-DOSTRELO_BUILD_TOOLS=ON \
	-DOSTRELO_INSTALL_USER_PLUGIN=ON >/dev/null
# The module, and the tool that draws the HUD frames the tests and the demo show.
cmake --build "$build" --parallel 2 --target ostrelo-obs ostrelo-hudframes
echo "built $build/module/ostrelo-obs.so against libobs $(pkg-config --modversion libobs) and Qt $(pkg-config --modversion Qt6Core)"
