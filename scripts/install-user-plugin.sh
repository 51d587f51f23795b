#!/usr/bin/env bash
# Sets up a fresh machine, builds the plug-in and installs it for the current user's OBS
# (~/.config/obs-studio/plugins/ostrelo-obs). OBS picks it up at its next start.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
"$root/scripts/setup.sh"
cmake --preset user-plugin >/dev/null
cmake --build build/user-plugin --parallel "$(nproc)"
cmake --install build/user-plugin
echo "installed: $HOME/.config/obs-studio/plugins/ostrelo-obs"
