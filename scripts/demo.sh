#!/usr/bin/env bash
# Builds Quenlet and typesets a copy of the bundled sample, showing the
# statistics and the first lines of the result.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "Building Quenlet (the first time this installs packages and takes a few minutes) ..." >&2
scripts/build.sh >/dev/null
mkdir -p build/demo
cp examples/sample.txt build/demo/sample.txt
echo "$ quenlet-cli build/demo/sample.txt"
build/bin/quenlet-cli build/demo/sample.txt
echo
echo "First lines of build/demo/kovra-sample.txt:"
head -n 12 build/demo/kovra-sample.txt | tr -d '\r'
