#!/usr/bin/env bash
# Takes a picture of the window under a virtual X server, with a CJK font:
#   scripts/screenshot.sh [FILE]                    (default docs/window.png)
# or of the result view after a run on NOVEL with 整理网络文本 ticked, on the
# view's tab TAB (0 the headings, 3 the first chapter before and after):
#   scripts/screenshot.sh --result NOVEL [FILE [TAB]]   (default docs/result-view.png, tab 3)
# The novel is copied into a scratch folder first: its copy is written there.
# The window opens with its opening values: the settings it remembers are
# kept in a scratch folder for the picture, not read from the user's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh xvfb xauth fonts-noto-cjk
scripts/build.sh >/dev/null
scratch=$(mktemp -d /tmp/quenlet-screenshot-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/config/Quenlet"
# (a run that ends with a message waits for it to be answered: hence the time limit)
run() { XDG_CONFIG_HOME=$scratch/config timeout 120 xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" build/bin/quenlet "$@"; }
if [[ "${1:-}" == --result ]]; then
  novel="$2"
  file="${3:-docs/result-view.png}"
  mkdir -p "$(dirname "$file")" "$scratch/books"
  cp "$novel" "$scratch/books/"
  printf '[boxes]\nCheck4=true\n' >"$scratch/config/Quenlet/quenlet.conf"
  run --screenshot-result "$file" --screenshot-tab "${4:-3}" "$scratch/books/$(basename "$novel")"
else
  file="${1:-docs/window.png}"
  mkdir -p "$(dirname "$file")"
  run --screenshot "$file"
fi
echo "saved $file"
