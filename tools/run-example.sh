#!/usr/bin/env bash
# Builds the program and runs an example in a fresh copy: tools/run-example.sh [example]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
example="${1:-road}"
"$root/tools/deps.sh"
cmake -S "$root" -B "$root/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DROUTAVA_TESTS=OFF -DROUTAVA_BENCH=OFF >/dev/null
cmake --build "$root/build-release" --target routava
work="$root/out/$example"
rm -rf "$work"
mkdir -p "$work"
cp "$root/examples/$example"/* "$work/"
cd "$work"
status=0
answers=answers.txt
[ -f "$answers" ] || answers=answers1.txt
"$root/build-release/routava" < "$answers" || status=$?
echo
echo "Results are in $work (exit status $status)"
exit $status
