#!/usr/bin/env bash
# Builds in Release and runs the benchmarks.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh"
cmake -S "$root" -B "$root/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DROUTAVA_TESTS=OFF -DROUTAVA_BENCH=ON >/dev/null
cmake --build "$root/build-bench"
for b in "$root"/build-bench/bench_*; do
  [ -x "$b" ] && "$b" "$@"
done
