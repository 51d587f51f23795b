#!/usr/bin/env bash
# A throw-away 64-bit Wine prefix for the Windows checks.
#
#   wine.sh up <prefix> [<root.pem> <trust_test_root.exe>]
#       makes a fresh prefix, keeps its wineserver running until "down" (so every later
#       program starts in a blink; at most five minutes after the last one, should "down"
#       never come), and trusts the test root inside the prefix only
#   wine.sh exec <prefix> <program.exe> [args...]
#       runs a Windows program in it; its output is printed once it has ended
#   wine.sh run <prefix> <command> [args...]
#       runs a Linux command with the prefix's environment (OSTRELO_WINE names the loader)
#   wine.sh down <prefix>
#       stops the prefix's wineserver and removes the prefix
#
# Wine's helper processes inherit the output of the call that starts them and outlive it: a
# caller reading that output through a pipe (ctest, $(...)) would wait for them. So the first
# program runs with its output discarded, and every program's output goes through a file.
set -euo pipefail

wine_loader="${OSTRELO_WINE:-/usr/lib/wine/wine64}"
wineserver="$(dirname "$wine_loader")/wineserver"

prefix_env() {
	export WINEPREFIX="$1" WINEARCH=win64 WINEDEBUG=-all,err+module WINEDLLOVERRIDES="mscoree=;mshtml="
	export OSTRELO_WINE="$wine_loader"
	# With the default proxy setting Wine sends even 127.0.0.1 through a proxy of the
	# environment, whatever no_proxy says; and there is no display to open.
	unset DISPLAY WAYLAND_DISPLAY http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ftp_proxy FTP_PROXY \
		all_proxy ALL_PROXY no_proxy NO_PROXY
}

# Windows path of a file of this machine.
windows_path() {
	local path
	path="$(realpath -m "$1")"
	printf 'Z:%s' "${path//\//\\}"
}

run_windows_program() {
	local log status=0
	log="$(mktemp)"
	"$wine_loader" "$@" </dev/null >"$log" 2>&1 || status=$?
	tr -d '\r' <"$log"
	rm -f "$log"
	return "$status"
}

# Waits (up to two minutes) until no process of the prefix's own setup runs any more: Wine
# finishes a new prefix in the background (wineboot, wine.inf through rundll32), and registry
# writes of that setup landing after the test root was added could leave the store without it.
settle_prefix() {
	local deadline=$((SECONDS + 120)) busy pid
	while [ $SECONDS -lt $deadline ]; do
		busy=0
		for pid in $(pgrep -f 'wineboot|rundll32|setupapi|winemenubuilder' || true); do
			if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$1"; then
				busy=1
			fi
		done
		[ $busy = 1 ] || return 0
		sleep 0.2
	done
	echo "wine.sh: the prefix's setup is still running after two minutes" >&2
}

command="${1:-}"
prefix="${2:-}"
if [ -z "$command" ] || [ -z "$prefix" ]; then
	sed -n '3,15p' "$0" >&2
	exit 2
fi
shift 2
prefix_env "$prefix"

case "$command" in
up)
	"$wineserver" -k >/dev/null 2>&1 || true
	rm -rf "$prefix"
	mkdir -p "$prefix"
	# Kept for five minutes after the last program, so an interrupted run cleans up after itself.
	"$wineserver" -p300 </dev/null >/dev/null 2>&1
	"$wine_loader" cmd /c exit </dev/null >/dev/null 2>&1
	settle_prefix "$prefix"
	if [ $# -eq 2 ]; then
		run_windows_program "$2" "$(windows_path "$1")"
	fi
	;;
exec)
	program="$1"
	shift
	run_windows_program "$program" "$@"
	;;
run)
	exec "$@"
	;;
down)
	"$wineserver" -k >/dev/null 2>&1 || true
	rm -rf "$prefix"
	;;
*)
	echo "wine.sh: unknown command $command" >&2
	exit 2
	;;
esac
