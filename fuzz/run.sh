#!/usr/bin/env bash
# Runs every fuzz target in turn, after replaying the committed regressions:
#
#   fuzz/run.sh [MINUTES [TARGET...]]      each target MINUTES minutes (default 10)
#   fuzz/run.sh --seconds N [--whole-run-seconds M]
#                                          each target N seconds (the whole-run target M)
#
# Builds first (fuzz/build.sh). The seed corpora of fuzz/corpus/ are read, not
# written: what the fuzzers add is kept in build-fuzz/corpus/. A crash, a hang
# (one input running longer than 25 s), a leak or a broken property is saved in
# build-fuzz/findings/TARGET/ and makes the script exit 1. Prints the executions
# per target at the end.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ROUTAVA_FUZZ_BUILD:-$root/build-fuzz}"
seconds=600
whole=""
case "${1:-}" in
  "") ;;
  --seconds)
    seconds="${2:?--seconds needs a number}"
    shift 2
    if [ "${1:-}" = --whole-run-seconds ]; then
      whole="${2:?--whole-run-seconds needs a number}"
      shift 2
    fi
    ;;
  *[!0-9.]*) echo "usage: fuzz/run.sh [MINUTES] [TARGET...] | --seconds N [--whole-run-seconds M] [TARGET...]" >&2; exit 2 ;;
  *) seconds="$(awk "BEGIN { printf \"%d\", $1 * 60 }")"; shift ;;
esac
[ -n "$whole" ] || whole="$seconds"

nice "$root/fuzz/build.sh" >/dev/null
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$root/fuzz/open-findings.supp"
targets=(fuzz_free_read fuzz_column_read fuzz_format_write fuzz_whole_run)
if [ $# -gt 0 ]; then targets=("$@"); fi
failed=0
summary=()
for t in "${targets[@]}"; do
  bin="$build/$t"
  findings="$build/findings/$t"
  work="$build/corpus/$t"
  mkdir -p "$findings" "$work"
  regressions=("$root/fuzz/regressions/$t"/*)
  if [ -e "${regressions[0]}" ]; then
    if ! nice "$bin" -runs=1 "${regressions[@]}" >"$build/$t.replay.log" 2>&1; then
      echo "fuzz/run.sh: $t fails on a committed regression (see $build/$t.replay.log)" >&2
      failed=1
    fi
  fi
  limit="$seconds"
  extra=()
  if [ "$t" = fuzz_whole_run ]; then
    limit="$whole"
    # Mutate whole files from the start: the seeds are up to 730 bytes long.
    extra=(-max_len=8192 -len_control=0)
  fi
  dict="$root/fuzz/dict/$t.dict"
  [ -f "$dict" ] && extra+=(-dict="$dict")
  log="$build/$t.log"
  status=0
  nice "$bin" -max_total_time="$limit" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "${extra[@]}" "$work" "$root/fuzz/corpus/$t" >"$log" 2>&1 || status=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  if [ "$status" -ne 0 ]; then
    failed=1
    summary+=("$(printf '%-18s %6s s %10s runs   FINDING (see %s)' "$t" "$limit" "${runs:-?}" "$log")")
    grep -E 'ERROR|property broken|runtime error|SUMMARY' "$log" | head -5 >&2 || true
  else
    summary+=("$(printf '%-18s %6s s %10s runs   ok' "$t" "$limit" "${runs:-?}")")
  fi
done
printf '%s\n' "${summary[@]}"
exit "$failed"
