#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers) in
# build/fuzz and runs each for SECONDS (default 20), keeping its corpus in build/fuzz/corpus.
#   scripts/fuzz.sh [SECONDS] [TARGET...]  targets: parse_json_fuzzer block_read_fuzzer log_reader_fuzzer
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then
  sed -n '2,4p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(parse_json_fuzzer block_read_fuzzer log_reader_fuzzer)

build=build/fuzz
echo "== build: fuzz"
# Optimised, with line tables only: enough for a crash's stack, and a quicker build.
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DCORVANE_BUILD_FUZZERS=ON -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" log_reader_seeds

# Seeds: the documents as they are, and each behind a block header that admits it.
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
mkdir -p "$build/corpus/parse_json_fuzzer" "$build/corpus/block_read_fuzzer"
for seed in tests/fuzz/seeds/*.json; do
  cp "$seed" "$build/corpus/parse_json_fuzzer/"
  {
    printf '\0\0\0\0\0\0\0\0'
    le32 1
    le32 "$(wc -c <"$seed")"
    le32 305419896
    cat "$seed"
  } >"$build/corpus/block_read_fuzzer/$(basename "$seed" .json).block"
done

# Log files of both kinds, written by the program's logger (the text log and a memory-log dump).
mkdir -p "$build/corpus/log_reader_fuzzer"
"$build/tests/fuzz/log_reader_seeds" "$build/corpus/log_reader_fuzzer"

for target in "${targets[@]}"; do
  echo "== fuzz: $target for ${seconds}s"
  # One job, a clean exit only when nothing broke. Inputs of 4 KiB at most (the block's
  # payload), or 64 KiB for log files.
  max_len=4200
  [ "$target" = log_reader_fuzzer ] && max_len=65536
  log="$build/$target.log"
  if ! "$build/tests/fuzz/$target" -max_total_time="$seconds" -max_len=$max_len \
    -print_final_stats=1 -artifact_prefix="$build/$target-" "$build/corpus/$target" >"$log" 2>&1; then
    tail -40 "$log" >&2
    echo "fuzz: $target failed (log: $log)" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units' "$log"
done
