#!/usr/bin/env bash
# Takes a picture of books made from examples/sample.txt as a reader sees
# them: opened in a real e-book reader (Foliate, under a virtual display),
# the cover, the contents and the first chapter of the horizontal book, and
# the first chapter of the vertical one (--vertical --convert s2t):
#   scripts/epub-picture.sh [FILE]     (default docs/epub-sample.png)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh foliate xvfb xauth xdotool imagemagick fonts-noto-cjk
[ -x build/bin/quenlet-cli ] || scripts/build.sh >/dev/null
file="${1:-docs/epub-sample.png}"
mkdir -p "$(dirname "$file")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"  # a reader without remembered books or positions
mkdir -p "$HOME"

# The title and author come from the file name, as they do for downloads.
name="《雨夜来客》作者：无名氏"
for kind in horizontal vertical; do
  mkdir -p "$work/$kind"
  cp examples/sample.txt "$work/$kind/$name.txt"
  options=(-q --epub)
  [ "$kind" = vertical ] && options+=(--vertical --convert s2t)
  build/bin/quenlet-cli "${options[@]}" "$work/$kind/$name.txt"
done

# Opens a book, waits for it, and takes a picture of each of the first
# pages, turning them with the key that goes forward in the book's direction.
cat >"$work/pages.sh" <<'SH'
#!/usr/bin/env bash
book=$1 key=$2 prefix=$3
foliate "$book" >/dev/null 2>&1 &
sleep 20
for page in 1 2 3; do
  import -window root -crop 966x690+2+2 "$prefix-$page.png"
  xdotool key "$key"
  sleep 3
done
kill $! 2>/dev/null || true
SH
chmod +x "$work/pages.sh"
xvfb-run -a -s "-screen 0 1100x800x24" "$work/pages.sh" "$work/horizontal/kovra-$name.epub" Right "$work/h"
rm -rf "$HOME" && mkdir -p "$HOME"
xvfb-run -a -s "-screen 0 1100x800x24" "$work/pages.sh" "$work/vertical/kovra-$name.epub" Left "$work/v"

# Cover and contents above, the chapter across and down below, each half size.
montage "$work/h-1.png" "$work/h-2.png" "$work/h-3.png" "$work/v-3.png" -tile 2x2 -geometry 483x345+6+6 \
  -background '#d8d8d8' "$file"
echo "saved $file"
