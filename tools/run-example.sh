#!/usr/bin/env bash
# Builds the program and runs an example in a fresh copy under out/, then draws the
# map of its totals when the example has node coordinates:
#   tools/run-example.sh [city | transit | road]      (city by default)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
example="${1:-city}"
if [ ! -d "$root/examples/$example" ]; then
  echo "run-example.sh: no example '$example' (examples: $(ls "$root/examples" | tr '\n' ' '))" >&2
  exit 2
fi
"$root/tools/deps.sh"
cmake -S "$root" -B "$root/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DROUTAVA_TESTS=OFF -DROUTAVA_BENCH=OFF >/dev/null
cmake --build "$root/build-release" --target routava routava-map
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
if [ "$status" -eq 0 ] && [ -f Node.csv ] && [ -f "Traffic TotalLinkVol.csv" ]; then
  "$root/build-release/routava-map" "Traffic TotalLinkVol.csv" --output "$work/map.svg" >/dev/null
  echo "Map of the totals: $work/map.svg"
fi
exit $status
