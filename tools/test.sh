#!/usr/bin/env bash
# Builds with warnings as errors and bounds-checked tables, then runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh"
build="${ROUTAVA_BUILD_DIR:-$root/build-test}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROUTAVA_CHECKED=ON -DROUTAVA_WERROR=ON "$@" >/dev/null
cmake --build "$build"
cd "$build"
ctest --output-on-failure -j "$(nproc)" </dev/null
