#!/usr/bin/env bash
# A real logging run (worker, encrypt, memory log) read back with corvane-logcat and the
# development key: every record is in the text log, in order, and in the memory log; a wrong
# key is reported and prints nothing. Two runs at once on one folder each keep a memory log:
# the second one's file is named with its process id.
#   log_round_trip_test.sh <log_run> <corvane-logcat> <corvane-keygen> <keys dir> [emulator]
set -uo pipefail
log_run=$1 logcat=$2 keygen=$3 keys=$4 emulator=${5:-}
count=20000

source "$(dirname "${BASH_SOURCE[0]}")/tool_test_lib.sh"

rc=$(run "$log_run" "$(p "$keys/dev-reader.pub")" "$(p "$work/log")" $count)
if [ "$rc" == 77 ]; then
  echo "skipped: $(cat "$work/err")"
  exit 77
fi
check "logging run exits 0" 0 "$rc"
text_log=$(ls "$work/log"/app.corvane.*.log 2>/dev/null | head -n 1)
memory_log=$work/log/app.corvane.log
check "text log written" 1 "$(ls "$work/log"/app.corvane.*.log 2>/dev/null | wc -l)"
check "memory log is 3145890 bytes" 3145890 "$(stat -c %s "$memory_log" 2>/dev/null)"
check "memlog directory made" yes "$([ -d "$work/log/memlog" ] && echo yes)"

seq 0 $((count - 1)) | sed "s/.*/run record & of $count/" >"$work/expected.txt"
echo "last record of the run" >>"$work/expected.txt"

key=$(p "$keys/dev-reader.key")
check "text log decodes" 0 "$(run "$logcat" --key "$key" "$(p "$text_log")")"
check "text log has every record in order" "" \
  "$(cut -f2- "$work/out" | diff "$work/expected.txt" -)"
check "text log has no TRACE" 0 "$(grep -c '\]\[TRACE\]\[' "$work/out")"
check "text log records are INFO" $count "$(grep -c '^\[[0-9: .-]*\]\[[0-9]*\]\[INFO\]\[log_run(' "$work/out")"

check "memory log decodes" 0 "$(run "$logcat" --key "$key" "$(p "$memory_log")")"
grep -v '\]\[TRACE\]\[' "$work/out" | cut -f2- >"$work/memory-info.txt"
# The logger closed the memory log: its newest record is whole.
check "memory log has every record in order, each whole" "" \
  "$(diff "$work/expected.txt" "$work/memory-info.txt")"
check "memory log ends with the last record" "last record of the run" "$(tail -n 1 "$work/memory-info.txt")"
check "memory log's newest record is known to be whole" 0 "$(grep -c 'may lack' "$work/err")"
check "memory log has the TRACE records" $((count / 10)) "$(grep -c '\]\[TRACE\]\[.*trace after' "$work/out")"

run "$keygen" "$(p "$work/other.key")" "$(p "$work/other.pub")" >/dev/null
for f in "$text_log" "$memory_log"; do
  check "$(basename "$f") under a wrong key exits 1" 1 "$(run "$logcat" --key "$(p "$work/other.key")" "$(p "$f")")"
  check "$(basename "$f") under a wrong key prints nothing" 0 "$(wc -c <"$work/out")"
  check "$(basename "$f") under a wrong key says so" 1 "$(grep -c 'wrong key' "$work/err")"
done

# Two logging processes on one folder (two overlays of one host): the first waits after its
# record 9, holding app.corvane.log, while the second runs whole; each memory log holds its own
# run's records, every one, and nothing of the other's.
shared=$work/shared
$emulator "$log_run" "$(p "$keys/dev-reader.pub")" "$(p "$shared")" 50 9 >"$work/first.out" 2>&1 &
first=$!
for _ in $(seq 1 600); do
  [ -e "$shared/paused" ] && break
  kill -0 "$first" 2>/dev/null || break
  sleep 0.1
done
check "the first run waits, holding its memory log" yes "$([ -e "$shared/paused" ] && echo yes)"
check "the second run on the same folder exits 0" 0 \
  "$(run "$log_run" "$(p "$keys/dev-reader.pub")" "$(p "$shared")" 100)"
rm -f "$shared/paused"
wait "$first"
check "the first run exits 0" 0 "$?"
own=$(ls "$shared" | grep -E '^app\.corvane\.[0-9]+\.log$')
check "one memory log named with a process id" 1 "$(echo -n "$own" | grep -c .)"
check "... 3145890 bytes" 3145890 "$(stat -c %s "$shared/$own" 2>/dev/null)"
check "two text logs" 2 "$(ls "$shared" | grep -cE '^app\.corvane\.[0-9]{8}-')"
expect_run() {  # expect_run <count>: the records of a run of <count>, as the memory log has them
  seq 0 $(($1 - 1)) | sed "s/.*/run record & of $1/"
  echo "last record of the run"
}
check "app.corvane.log decodes" 0 "$(run "$logcat" --key "$key" "$(p "$shared/app.corvane.log")")"
check "app.corvane.log holds the first run's records, and only those" "" \
  "$(grep -v '\]\[TRACE\]\[' "$work/out" | cut -f2- | diff <(expect_run 50) -)"
check "$own decodes" 0 "$(run "$logcat" --key "$key" "$(p "$shared/$own")")"
check "$own holds the second run's records, and only those" "" \
  "$(grep -v '\]\[TRACE\]\[' "$work/out" | cut -f2- | diff <(expect_run 100) -)"

finish
