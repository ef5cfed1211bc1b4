#!/usr/bin/env bash
# Takes a picture of the window under a virtual X server, with a CJK font:
#   scripts/screenshot.sh [FILE]     (default docs/window.png)
# The window opens with its opening values: the settings it remembers are
# kept in a scratch folder for the picture, not read from the user's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh xvfb xauth fonts-noto-cjk
scripts/build.sh >/dev/null
file="${1:-docs/window.png}"
mkdir -p "$(dirname "$file")"
config=$(mktemp -d /tmp/quenlet-screenshot-XXXXXX)
trap 'rm -rf "$config"' EXIT
XDG_CONFIG_HOME=$config xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" build/bin/quenlet --screenshot "$file"
echo "saved $file"
