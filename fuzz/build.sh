#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UBSan into
# build-fuzz/ (or $ROUTAVA_FUZZ_BUILD), apart from the normal g++ build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ROUTAVA_FUZZ_BUILD:-$root/build-fuzz}"
have_fuzzer() {
  cxx="$(command -v clang++ || command -v clang++-14 || true)"
  [ -n "$cxx" ] && echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' |
    "$cxx" -x c++ -fsanitize=fuzzer -o /dev/null - 2>/dev/null
}
if ! have_fuzzer; then
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "Installing: clang libclang-rt-14-dev"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang libclang-rt-14-dev >/dev/null
  fi
  if ! have_fuzzer; then
    echo "build.sh: clang with libFuzzer is needed: apt-get install clang libclang-rt-14-dev" >&2
    exit 1
  fi
fi
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S "$root/fuzz" -B "$build" "${generator[@]}" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$build" "$@"
