#!/usr/bin/env bash
# A single-file run in the real window against quenlet-cli on the same file,
# under a virtual X server with a window manager (openbox), timed with hyperfine:
#   bench/window_timing.sh [MB]     a generated GB18030 novel (default 50 MB)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh xvfb xauth openbox hyperfine fonts-noto-cjk >/dev/null
scripts/build.sh >/dev/null
bin=$PWD/build/bin
work=$(mktemp -d /tmp/quenlet-window-timing-XXXXXX)
trap 'rm -rf "$work"' EXIT

mb=${1:-50}
"$bin/quenlet-gen-novel" "$mb" "$work/novel.txt" gb18030
echo "novel: $(stat -c %s "$work/novel.txt") bytes"
export BIN=$bin WORK=$work
# The window manager gets its own configuration folder, away from the user's.
XDG_CONFIG_HOME=$work/config xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  # The run in the window (click to statistics, the program already open) ...
  "$BIN/quenlet_window_bench" "$WORK/novel.txt" 5
  # ... and whole programs, the window'"'"'s start and first appearance included.
  hyperfine -w 1 -r 5 "$BIN/quenlet-cli -q $WORK/novel.txt" "$BIN/quenlet_window_bench $WORK/novel.txt"
  kill $wm
'
