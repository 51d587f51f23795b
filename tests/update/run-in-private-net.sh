#!/bin/sh
# Runs a test program in private network and mount namespaces: only loopback is up, and the
# vendor host and its "www." name resolve to 127.0.0.1, so the program's own HTTPS server can
# answer on port 443 under that name. The machine's network and its /etc/hosts stay as they
# are. As root it needs nothing more; otherwise it maps the user to root in a user namespace.
# Usage: run-in-private-net.sh <vendor host> <program> [arguments...]
set -eu
host="$1"
shift
hosts="$(mktemp)"
trap 'rm -f "$hosts"' EXIT
printf '127.0.0.1 localhost\n127.0.0.1 %s www.%s\n' "$host" "$host" >"$hosts"
chmod 644 "$hosts"
# Nothing outside is reachable from in there, a proxy included.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
userns=""
[ "$(id -u)" -eq 0 ] || userns="--map-root-user"
# The inner shell takes the hosts file as $0 and the program with its arguments as "$@".
unshare --net --mount $userns -- sh -c 'ip link set lo up && mount --bind "$0" /etc/hosts && exec "$@"' \
	"$hosts" "$@"
