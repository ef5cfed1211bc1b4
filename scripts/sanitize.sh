#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs the whole test suite there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-asan -G Ninja -DQUENLET_SANITIZE=ON -DQUENLET_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  >/dev/null
cmake --build build-asan --parallel "$(nproc)"
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build-asan --output-on-failure --parallel "$(nproc)"
