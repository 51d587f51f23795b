#!/usr/bin/env bash
# Cross-compiles the Windows installer launch with mingw-w64 and checks it under Wine: the held
# installer cannot be written, replaced, renamed or deleted, yet starts, with "/S".
# Needs g++-mingw-w64-x86-64 and wine64 (not part of the regular test run).
# Usage: tests/platform/windows/check-under-wine.sh
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../../.." && pwd)"
wine=/usr/lib/wine/wine64
work="$(mktemp -d)"
trap 'WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

cxx=(x86_64-w64-mingw32-g++ -std=c++17 -O2 -Wall -Wextra -Wpedantic -Wshadow=local -Werror -static -static-libgcc -static-libstdc++)
"${cxx[@]}" -I"$root" "$here/installer_launch_check.cpp" "$root/platform/installer_launch_win.cpp" \
	-lshell32 -o "$work/installer_launch_check.exe"
"${cxx[@]}" "$here/payload.cpp" -o "$work/payload.exe"

export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY http_proxy https_proxy HTTP_PROXY HTTPS_PROXY
# Wine's helpers inherit the first call's output: start the server with output discarded.
"$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
export OSTRELO_MARKER='Z:'"${work//\//\\}"'\marker.txt'
"$wine" "$work/installer_launch_check.exe" 'Z:'"${work//\//\\}"'\payload.exe' "$OSTRELO_MARKER" \
	</dev/null >"$work/out.txt" 2>&1 || status=$?
tr -d '\r' <"$work/out.txt"
exit "${status:-0}"
