#!/usr/bin/env bash
# A Debian 13 root in which OBS Studio 30 (built with Qt 6) runs our module for real.
# Debian 12's own OBS is built with Qt 5 and cannot host a Qt 6 plug-in.
#
# Usage:
#   scripts/obs-root.sh create          make the root, or bring a cached one up to date
#   scripts/obs-root.sh build           build the module inside the root (build/obs30)
#   scripts/obs-root.sh run CMD...      run CMD inside the root, the project mounted at /src,
#                                       in private mount, process and network namespaces
#                                       (only loopback is up: nothing leaves the machine)
#
# OSTRELO_OBS_ROOT   where the root lives (default: .obs-root/trixie in the project); point it
#                    at a cached folder in CI
# OSTRELO_MIRROR     Debian mirror for debootstrap and apt (default: deb.debian.org)
set -euo pipefail
project="$(cd "$(dirname "$0")/.." && pwd)"
root="${OSTRELO_OBS_ROOT:-$project/.obs-root/trixie}"
mirror="${OSTRELO_MIRROR:-http://deb.debian.org/debian}"
package_list="$project/scripts/obs-root/packages.txt"
stamp_name=".ostrelo-root"

if [ "$(id -u)" -ne 0 ]; then
	# Namespaces, mounts and chroot need root.
	exec sudo --preserve-env=OSTRELO_OBS_ROOT,OSTRELO_MIRROR "$0" "$@"
fi

log() { echo "obs-root: $*" >&2; }

packages() {
	local pkg
	while read -r pkg _; do
		case "$pkg" in '' | '#'*) continue ;; esac
		echo "$pkg"
	done <"$package_list"
}

list_digest() { sha256sum "$package_list" | cut -d' ' -f1; }

# Removes a folder unless something is still mounted below it (an interrupted debootstrap
# could have left /proc or /dev there: removing through those would reach the host's).
remove_tree() {
	local path="$1"
	if awk -v p="$path/" 'index($2 "/", p) == 1 { found = 1 } END { exit !found }' /proc/mounts; then
		log "refusing to remove $path: something is mounted below it"
		exit 1
	fi
	rm -rf "$path"
}

# Runs a command inside the root. $1: "isolated" (private network with only loopback up) or
# "online" (the host's network, for apt). Every mount lives in a private mount namespace and
# every process in a private process namespace, so nothing outlives the command.
enter() {
	local net="$1" target="$2"
	shift 2
	local flags=(--mount --pid --fork --kill-child --propagation private)
	[ "$net" = isolated ] && flags+=(--net)
	unshare "${flags[@]}" /bin/bash -c '
		set -euo pipefail
		target="$1" project="$2" net="$3"
		shift 3
		mount -t proc proc "$target/proc"
		mount --rbind /sys "$target/sys"
		mount --rbind /dev "$target/dev"
		mount -t tmpfs -o mode=1777 tmpfs "$target/tmp"
		mkdir -p "$target/src"
		mount --bind "$project" "$target/src"
		if [ "$net" = isolated ]; then
			chroot "$target" ip link set lo up
		else
			cp -L /etc/resolv.conf "$target/etc/resolv.conf"
		fi
		cd /
		exec chroot "$target" /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
			PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
			TERM="${TERM:-dumb}" OSTRELO_IN_ROOT=1 "$@"
	' bash "$target" "$project" "$net" "$@"
}

apt_in_root() {
	local target="$1"
	shift
	enter online "$target" /bin/sh -c '
		set -e
		export DEBIAN_FRONTEND=noninteractive
		apt-get update -qq
		apt-get install -y -qq --no-install-recommends "$@" >/dev/null
		apt-get clean
	' sh "$@"
}

create() {
	local digest
	digest="$(list_digest)"
	if [ -f "$root/$stamp_name" ]; then
		if [ "$(cat "$root/$stamp_name")" = "$digest" ]; then
			log "cached root at $root"
			return
		fi
		log "package list changed: updating $root"
		mapfile -t wanted < <(packages)
		apt_in_root "$root" "${wanted[@]}"
		echo "$digest" >"$root/$stamp_name"
		return
	fi

	local partial="$root.partial"
	local started=$SECONDS
	remove_tree "$partial"
	mkdir -p "$(dirname "$root")"
	log "debootstrap trixie into $partial"
	# In a mount namespace of its own, so its mounts in the new root go away with it, even
	# when it is interrupted.
	unshare --mount --propagation private \
		debootstrap --variant=minbase trixie "$partial" "$mirror" >"$partial.log" 2>&1 || {
		tail -30 "$partial.log" >&2
		log "debootstrap failed (log: $partial.log)"
		exit 1
	}
	log "debootstrap took $((SECONDS - started)) s"
	echo force-unsafe-io >"$partial/etc/dpkg/dpkg.cfg.d/99-unsafe-io"
	printf 'APT::Install-Recommends "false";\nAPT::Install-Suggests "false";\n' \
		>"$partial/etc/apt/apt.conf.d/99-no-recommends"
	printf '127.0.0.1\tlocalhost\n::1\tlocalhost\n' >"$partial/etc/hosts"
	local apt_started=$SECONDS
	mapfile -t wanted < <(packages)
	log "installing ${#wanted[@]} packages"
	apt_in_root "$partial" "${wanted[@]}"
	log "packages took $((SECONDS - apt_started)) s"
	echo "$digest" >"$partial/$stamp_name"
	rm -f "$partial.log"
	remove_tree "$root"
	mv "$partial" "$root"
	log "root ready at $root in $((SECONDS - started)) s"
}

build() {
	[ -f "$root/$stamp_name" ] || create
	enter isolated "$root" /bin/sh /src/scripts/obs-root/build-module.sh
}

case "${1:-}" in
create) create ;;
build) build ;;
run)
	shift
	[ $# -gt 0 ] || { log "run needs a command"; exit 2; }
	[ -f "$root/$stamp_name" ] || create
	enter isolated "$root" "$@"
	;;
*)
	sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//' >&2
	exit 2
	;;
esac
