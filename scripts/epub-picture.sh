#!/usr/bin/env bash
# Takes a picture of the first pages of an EPUB made from examples/sample.txt:
# the table of contents, the first chapter, and the first chapter again in
# vertical writing (--vertical), as headless Chromium renders the book's own
# XHTML and CSS:
#   scripts/epub-picture.sh [FILE]     (default docs/epub-sample.png)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh chromium fonts-noto-cjk unzip
[ -x build/bin/quenlet-cli ] || scripts/build.sh >/dev/null
file="${1:-docs/epub-sample.png}"
mkdir -p "$(dirname "$file")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for kind in horizontal vertical; do
  mkdir -p "$work/$kind"
  cp examples/sample.txt "$work/$kind/sample.txt"
  options=(-q --epub --author "Quenlet")
  [ "$kind" = vertical ] && options+=(--vertical)
  build/bin/quenlet-cli "${options[@]}" "$work/$kind/sample.txt"
  unzip -q "$work/$kind/kovra-sample.epub" -d "$work/$kind/book"
done

# The three pages side by side, each the size of a small e-reader's screen.
cat >"$work/pages.html" <<'HTML'
<!DOCTYPE html>
<html><head><meta charset="utf-8"><style>
body { margin: 0; padding: 16px; background: #d8d8d8; display: flex; gap: 16px; }
iframe { width: 360px; height: 560px; border: 0; background: #fffdf6; box-shadow: 0 1px 4px #888; }
</style></head><body>
<iframe src="horizontal/book/OEBPS/nav.xhtml"></iframe>
<iframe src="horizontal/book/OEBPS/text/c00001.xhtml"></iframe>
<iframe src="vertical/book/OEBPS/text/c00001.xhtml"></iframe>
</body></html>
HTML

chromium --headless --no-sandbox --disable-gpu --disable-background-networking --disable-component-update \
  --disable-sync --no-first-run --allow-file-access-from-files --user-data-dir="$work/profile" \
  --hide-scrollbars --window-size=1160,592 --screenshot="$(pwd)/$file" "file://$work/pages.html" 2>/dev/null
echo "saved $file"
