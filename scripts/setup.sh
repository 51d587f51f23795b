#!/usr/bin/env bash
# Installs the Debian packages that building and testing need. Idempotent: packages already
# present are not fetched again, and apt's index is refreshed at most once per run.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
	sudo_cmd=(sudo)
fi

# OBS itself only for the plug-ins libobs tests load (image_source, color_source); its
# recommended packages would pull a desktop. A list marks others with "no-recommends".
no_recommends=(obs-studio)
wanted=()
for list in "$here"/packages/*.txt; do
	while read -r pkg flags; do
		case "$pkg" in '' | '#'*) continue ;; esac
		if [[ " $flags " == *" no-recommends "* ]]; then
			no_recommends+=("$pkg")
		else
			wanted+=("$pkg")
		fi
	done <"$list"
done

missing=()
for pkg in "${wanted[@]}" "${no_recommends[@]}"; do
	if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
		missing+=("$pkg")
	fi
done

if [ ${#missing[@]} -eq 0 ]; then
	echo "setup: all packages present"
	exit 0
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
plain=()
extra=()
for pkg in "${missing[@]}"; do
	if [[ " ${no_recommends[*]} " == *" $pkg "* ]]; then extra+=("$pkg"); else plain+=("$pkg"); fi
done
if [ ${#plain[@]} -gt 0 ]; then
	"${sudo_cmd[@]}" apt-get install -y -qq "${plain[@]}"
fi
if [ ${#extra[@]} -gt 0 ]; then
	"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${extra[@]}"
fi
