#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer
# on) and runs them for the given number of seconds in all (default 120), half
# each: quenlet_fuzzer (the typesetting, seeds in tests/fuzz/corpus) and
# quenlet_input_fuzzer (rules files, the command line and the EPUB, seeds in
# tests/fuzz/input-corpus). A failing input is kept and named.
# Only a crash, a sanitizer report or a broken property fails it, never the
# time a run takes on a busy machine: the per-input limit of ten minutes only
# catches a run that never ends.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
scripts/install-deps.sh clang libclang-rt-14-dev
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQUENLET_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz

# fuzz TARGET SECONDS CORPUS DICTIONARY
fuzz() {
  local target=$1 time=$2 corpus=$3 dictionary=$4
  local work
  work=$(mktemp -d /tmp/quenlet-fuzz-XXXXXX)
  mkdir "$work/corpus" "$work/tmp"
  cp "$corpus"/* "$work/corpus/"
  echo "$target: $time seconds"
  # (TMPDIR: the scratch files of the target go with the rest when it is done)
  if TMPDIR="$work/tmp" "build-fuzz/bin/$target" -dict="$dictionary" -max_len=16384 -timeout=600 -rss_limit_mb=4096 \
       -max_total_time="$time" -print_final_stats=1 -artifact_prefix="$work/failing-" "$work/corpus" 2>"$work.log"; then
    grep -E "^stat::number_of_executed_units|DONE" "$work.log" || true
    rm -rf "$work" "$work.log"
  else
    tail -n 40 "$work.log"
    echo "fuzzing $target found a failing input: $(ls "$work"/failing-* 2>/dev/null)" >&2
    return 1
  fi
}

# (a second at least each: libFuzzer takes no time limit as none)
first=$(( seconds / 2 > 0 ? seconds / 2 : 1 ))
second=$(( seconds - first > 0 ? seconds - first : 1 ))
fuzz quenlet_fuzzer "$first" tests/fuzz/corpus tests/fuzz/marks.dict
fuzz quenlet_input_fuzzer "$second" tests/fuzz/input-corpus tests/fuzz/input.dict
