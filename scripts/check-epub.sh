#!/usr/bin/env bash
# Makes an EPUB of every .txt file in the given folders (copies, in a scratch
# folder; the folders are not written) and checks each with epubcheck:
#   scripts/check-epub.sh FOLDER... [-- quenlet-cli options]
# e.g. scripts/check-epub.sh /path/to/novels  or  scripts/check-epub.sh /path/to/novels -- --vertical --indent "> "
# Prints one line per book and exits with 1 when any book has an error or a warning.
set -euo pipefail
folders=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do folders+=("$(realpath "$1")"); shift; done
[ $# -gt 0 ] && shift
options=("$@")
[ ${#folders[@]} -gt 0 ] || { echo "usage: $0 FOLDER... [-- OPTIONS]" >&2; exit 2; }
cd "$(dirname "$0")/.."
scripts/install-deps.sh epubcheck default-jre-headless
[ -x build/bin/quenlet-cli ] || scripts/build.sh >/dev/null
cli=$(pwd)/build/bin/quenlet-cli
jar=/usr/share/java/epubcheck.jar

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for folder in "${folders[@]}"; do
  find "$folder" -maxdepth 1 -type f -iname '*.txt' ! -name 'kovra-*' -exec cp {} "$work/" \;
done
"$cli" -q --epub "${options[@]}" --batch "$work"

check() {
  local book=$1 report
  report=$(java -jar "$jar" "$book" 2>&1 || true)
  if grep -q '^No errors or warnings detected' <<<"$report"; then
    echo "ok     $(basename "$book") ($(stat -c %s "$book") bytes)"
  else
    echo "FAILED $(basename "$book")"
    grep -E '^(ERROR|WARNING|FATAL)' <<<"$report" | head -20 | sed 's/^/       /'
  fi
}
export -f check
export jar
find "$work" -name 'kovra-*.epub' -print0 | sort -z |
  xargs -0 -n 1 -P "$(nproc)" bash -c 'check "$0"' >"$work/results"
cat "$work/results"
! grep -q '^FAILED' "$work/results"
