#!/usr/bin/env bash
# Side-by-side timings of quenlet-cli with hyperfine (installed if missing):
#   bench/timing.sh throughput [MB]   a generated GB18030 novel (default 50 MB) against an iconv round trip
#   bench/timing.sh tidy [MB]         the same novel with and without --tidy
#   bench/timing.sh batch [FILES]     a tree of mid-sized files (default 200) with 1 and with 2 jobs
#   bench/timing.sh small [FILES]     a tree of 4 KB files (default 2000) with 1 and with 2 jobs: mostly the
#                                     cost of making each copy durable (two fsyncs a file)
#   bench/timing.sh memory [MB]       peak resident memory on a file of short paragraphs (default 200 MB)
#   bench/timing.sh convert [MB]      a generated GB18030 novel (default 50 MB) as it is, with --convert s2t,
#                                     and into UTF-8 with LF line ends
#   bench/timing.sh epub [MB]         a generated GB18030 novel (default 50 MB) as text, as an EPUB and as both
#                                     (tidied, as a book is), and as a book and text without the tidy mode
#   bench/timing.sh epub-memory [MB]  peak resident memory and processor time of the text copy and the EPUB of a
#                                     generated novel (default 200 MB), and of --epub --batch --jobs 2 over ten
#                                     20 MB novels
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh hyperfine >/dev/null
scripts/build.sh >/dev/null
bin=build/bin
work=$(mktemp -d /tmp/quenlet-timing-XXXXXX)
trap 'rm -rf "$work"' EXIT

case "${1:-throughput}" in
throughput)
  mb=${2:-50}
  "$bin/quenlet-gen-novel" "$mb" "$work/novel.txt" gb18030
  echo "novel: $(stat -c %s "$work/novel.txt") bytes"
  hyperfine -w 2 -r 10 \
    "iconv -f GB18030 -t UTF-16LE $work/novel.txt | iconv -f UTF-16LE -t GB18030 >/dev/null" \
    "$bin/quenlet-cli -q $work/novel.txt"
  ;;
tidy)
  mb=${2:-50}
  "$bin/quenlet-gen-novel" "$mb" "$work/novel.txt" gb18030
  echo "novel: $(stat -c %s "$work/novel.txt") bytes"
  hyperfine -w 2 -r 10 "$bin/quenlet-cli -q $work/novel.txt 2>/dev/null" "$bin/quenlet-cli -q --tidy $work/novel.txt"
  ;;
batch)
  files=${2:-200}
  for i in $(seq 1 "$files"); do
    mkdir -p "$work/tree/part$((i % 10))"
    "$bin/quenlet-gen-novel" 0.5 "$work/tree/part$((i % 10))/book$i.txt" gb18030 "$i"
  done
  echo "tree: $files files, $(du -sb "$work/tree" | cut -f1) bytes"
  hyperfine -w 1 -r 5 "$bin/quenlet-cli -q --batch $work/tree --jobs 1" "$bin/quenlet-cli -q --batch $work/tree --jobs 2"
  ;;
small)
  files=${2:-2000}
  "$bin/quenlet-gen-novel" 1 "$work/novel.txt" gb18030
  for i in $(seq 1 "$files"); do
    mkdir -p "$work/tree/part$((i % 20))"
    head -c 4096 "$work/novel.txt" > "$work/tree/part$((i % 20))/note$i.txt"
  done
  echo "tree: $files files, $(du -sb "$work/tree" | cut -f1) bytes"
  hyperfine -w 2 -r 10 "$bin/quenlet-cli -q --batch $work/tree --jobs 1" "$bin/quenlet-cli -q --batch $work/tree --jobs 2"
  ;;
memory)
  mb=${2:-200}
  "$bin/quenlet-gen-novel" "$mb" "$work/big.txt" gb18030
  echo "file: $(stat -c %s "$work/big.txt") bytes"
  /usr/bin/time -f "peak resident memory: %M KB, %e s" "$bin/quenlet-cli" -q "$work/big.txt"
  ;;
epub)
  mb=${2:-50}
  "$bin/quenlet-gen-novel" "$mb" "$work/novel.txt" gb18030
  echo "novel: $(stat -c %s "$work/novel.txt") bytes"
  # A book turns on the tidy mode: it is measured against the tidy text copy,
  # and with --no-tidy against the plain one.
  hyperfine -w 2 -r 10 --export-json "$work/epub.json" \
    "$bin/quenlet-cli -q --tidy $work/novel.txt" \
    "$bin/quenlet-cli -q --epub $work/novel.txt" \
    "$bin/quenlet-cli -q --format txt,epub $work/novel.txt" \
    "$bin/quenlet-cli -q $work/novel.txt 2>/dev/null" \
    "$bin/quenlet-cli -q --epub --no-tidy $work/novel.txt"
  python3 -c 'import json, sys; r = json.load(open(sys.argv[1]))["results"]
print("EPUB / tidy text: %.2fx (text and EPUB: %.2fx); --no-tidy EPUB / text: %.2fx" %
      (r[1]["mean"] / r[0]["mean"], r[2]["mean"] / r[0]["mean"], r[4]["mean"] / r[3]["mean"]))' "$work/epub.json"
  echo "book: $(stat -c %s "$work/kovra-novel.epub") bytes"
  ;;
epub-memory)
  mb=${2:-200}
  "$bin/quenlet-gen-novel" "$mb" "$work/novel.txt" gb18030
  echo "novel: $(stat -c %s "$work/novel.txt") bytes"
  for output in "" --tidy --epub "--epub --no-tidy"; do
    /usr/bin/time -f "${output:-text}: peak resident memory %M KB, %e s, processor %U s + %S s" \
      "$bin/quenlet-cli" -q $output "$work/novel.txt" 2>&1 | grep -v warning
  done
  mkdir -p "$work/tree"
  for i in $(seq 1 10); do "$bin/quenlet-gen-novel" 20 "$work/tree/book$i.txt" gb18030 "$i"; done
  /usr/bin/time -f "--epub --batch --jobs 2, ten 20 MB novels: peak resident memory %M KB, %e s" \
    "$bin/quenlet-cli" -q --epub --batch "$work/tree" --jobs 2 2>&1 | grep -v warning
  ;;
convert)
  mb=${2:-50}
  "$bin/quenlet-gen-novel" "$mb" "$work/novel.txt" gb18030
  echo "novel: $(stat -c %s "$work/novel.txt") bytes"
  hyperfine -w 1 -r 5 \
    "$bin/quenlet-cli -q $work/novel.txt" \
    "$bin/quenlet-cli -q --convert s2t $work/novel.txt" \
    "$bin/quenlet-cli -q --output-encoding utf-8 --line-ends lf $work/novel.txt"
  ;;
*)
  echo "usage: bench/timing.sh throughput|tidy|batch|small|memory|convert|epub|epub-memory [size]" >&2
  exit 2
  ;;
esac
