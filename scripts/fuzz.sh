#!/usr/bin/env bash
# Builds the fuzz target with clang (AddressSanitizer and UndefinedBehaviorSanitizer
# on) and runs it for the given number of seconds (default 120), starting from
# the seed corpus in tests/fuzz/corpus. A failing input is kept and named.
# Only a crash, a sanitizer report or a broken property fails it, never the
# time a run takes on a busy machine: the per-input limit of ten minutes only
# catches a run that never ends.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
scripts/install-deps.sh clang libclang-rt-14-dev
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQUENLET_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz
work=$(mktemp -d /tmp/quenlet-fuzz-XXXXXX)
cp tests/fuzz/corpus/* "$work/"
if build-fuzz/bin/quenlet_fuzzer -dict=tests/fuzz/marks.dict -max_len=16384 -timeout=600 -rss_limit_mb=4096 \
     -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/failing-" "$work" 2>"$work.log"; then
  grep -E "^stat::number_of_executed_units|DONE" "$work.log" || true
  rm -rf "$work" "$work.log"
else
  tail -n 40 "$work.log"
  echo "fuzzing found a failing input: $(ls "$work"/failing-* 2>/dev/null)" >&2
  exit 1
fi
