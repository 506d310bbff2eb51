#!/usr/bin/env bash
# Prints the benchmark figures: the text helpers over 10 KiB to 1 MiB texts and
# AdmitMessage throughput (native, optimised, no sanitizers), then the
# forwarding burst in the real DLL under Wine (scripts/bench_burst.sh).
#   scripts/bench.sh [--no-burst]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target text_bench admission_bench
build/native/bench/text_bench --benchmark_counters_tabular=true
build/native/bench/admission_bench

if [[ ${1:-} != --no-burst ]]; then
  cmake --preset win32 >/dev/null
  cmake --build --preset win32
  bash scripts/bench_burst.sh build/win32 1000
fi
