#!/usr/bin/env bash
# Whole-run output guard: runs the program on every network in tests/data (and the
# examples) with several sets of console answers and compares a checksum of every
# file the run leaves, of the console transcript and of the exit status with the
# recorded ones in tests/golden/outputs.sha256. Time stamp lines are masked.
#
#   tools/check-outputs.sh BINARY             compare (exit 1 on any difference)
#   tools/check-outputs.sh BINARY --update    record the current outputs
#   tools/check-outputs.sh BINARY --keep DIR  also leave the run directories in DIR
#
# Extra arguments for the program can be given in ROUTAVA_ARGS (for example
# ROUTAVA_ARGS="--threads 4"); they must not change any output byte.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${1:?usage: check-outputs.sh BINARY [--update | --keep DIR]}"
bin="$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")"
mode=compare
keep=""
case "${2:-}" in
  --update) mode=update ;;
  --keep) keep="${3:?--keep needs a directory}" ;;
  "") ;;
  *) echo "check-outputs.sh: unknown option $2" >&2; exit 2 ;;
esac
manifest="$root/tests/golden/outputs.sha256"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
read -r -a extra <<<"${ROUTAVA_ARGS:-}"

# name | source directory | answers (one per line, ';' separated) | control file (blank: the directory's)
cases=(
  "SiouxFalls|tests/data/SiouxFalls|1;1;2;1;1|"
  "SiouxFalls-all|tests/data/SiouxFalls|1;2;2;1;2|"
  "Anaheim|tests/data/Anaheim|1;1;2;1;1|"
  "Anaheim-nopath|tests/data/Anaheim|1;2;1;2|"
  "Barcelona|tests/data/Barcelona|1;1;2;1;1|"
  "Winnipeg|tests/data/Winnipeg|1;1;2;1;1|"
  "Winnipeg-all|tests/data/Winnipeg|1;2;2;1;2|"
  "MidCity-mode1|tests/data/MidCity|1;1;4;1;2;1;1|"
  "MidCity-mode2|tests/data/MidCity|1;2;4;2;2;1;2|"
  "MidCity-mode3|tests/data/MidCity|1;3;5;1;1;1;1|"
  "MidCity-mode4|tests/data/MidCity|1;4;4;1;2;2|"
  "transit-mode1|examples/transit|1;1;4;1;2;1;1|"
  "transit-mode2|examples/transit|1;2;4;1;2;1;1|"
  "transit-mode3|examples/transit|1;3;4;1;2;1;1|"
  "transit-mode4|examples/transit|1;4;4;1;2;1;1|"
  "transit-debug|examples/transit|9;2;3;1;4;1;2;1;1|"
  "transit-debug-zones|examples/transit|9;1;2;3;4;2;2;1;2;4;2|"
)
# The sample city, once per transit loading mode.
[ -d "$root/examples/city" ] && cases+=(
  "city-mode1|examples/city|@answers1.txt|"
  "city-mode2|examples/city|@answers2.txt|"
  "city-mode3|examples/city|@answers3.txt|"
  "city-mode4|examples/city|@answers4.txt|"
)

out="$work/manifest"
: >"$out"
for c in "${cases[@]}"; do
  IFS='|' read -r name src answers control <<<"$c"
  [ -d "$root/$src" ] || { echo "check-outputs.sh: $src is missing" >&2; exit 2; }
  dir="$work/$name"
  mkdir -p "$dir"
  cp -r "$root/$src"/. "$dir/"
  rm -f "$dir"/README.md
  if [[ "$answers" == @* ]]; then
    cp "$dir/${answers#@}" "$dir/.answers"
  else
    tr ';' '\n' <<<"$answers" >"$dir/.answers"
  fi
  [ -n "$control" ] && cp "$root/$control" "$dir/Assign.txt"
  status=0
  (cd "$dir" && "$bin" "${extra[@]}" <.answers >.console 2>&1) || status=$?
  echo "status $status  $name" >>"$out"
  (
    cd "$dir"
    for f in .console * ; do
      [ -f "$f" ] || continue
      case "$f" in Log.txt|.console) sed -E 's/Current time .*/Current time (masked)/' "$f" ;; *) cat "$f" ;; esac |
        sha256sum | sed "s|-\$|$name/$f|"
    done
  ) >>"$out"
done

if [ -n "$keep" ]; then
  mkdir -p "$keep"
  cp -r "$work"/. "$keep/"
fi
if [ "$mode" = update ]; then
  mkdir -p "$(dirname "$manifest")"
  cp "$out" "$manifest"
  echo "check-outputs.sh: recorded $(grep -c '^status' "$out") runs, $(grep -vc '^status' "$out") files"
  exit 0
fi
if diff -u "$manifest" "$out" >"$work/diff"; then
  echo "check-outputs.sh: $(grep -c '^status' "$out") runs, $(grep -vc '^status' "$out") files, all identical"
else
  echo "check-outputs.sh: outputs differ from tests/golden/outputs.sha256:" >&2
  grep -E '^[-+][^-+]' "$work/diff" >&2 || true
  exit 1
fi
