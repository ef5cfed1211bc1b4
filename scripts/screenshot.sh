#!/usr/bin/env bash
# Takes a picture of the window under a virtual X server, with a CJK font:
#   scripts/screenshot.sh [FILE]     (default docs/window.png)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh xvfb xauth fonts-noto-cjk
scripts/build.sh >/dev/null
file="${1:-docs/window.png}"
mkdir -p "$(dirname "$file")"
xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" build/bin/quenlet --screenshot "$file"
echo "saved $file"
