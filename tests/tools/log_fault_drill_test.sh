#!/usr/bin/env bash
# A real logging run (worker, encrypt, compress, memory log) whose text log stops taking bytes
# for a while, as on a full disk: the process's file-size limit is set from outside once the
# logger runs and lifted again later. With SIGXFSZ ignored, a write beyond the limit takes the
# bytes up to it and the next one fails: natively with EFBIG ("File too large", 27); under Wine,
# which passes the failure on as a general one, with ERROR_GEN_FAILURE (31). corvane-logcat then reads every record that reached the file before the
# failure, reports the segment it cut, the logger's record of the loss with its count, and
# every record after it, up to the last one and the closing trailer.
#   log_fault_drill_test.sh <log_run> <corvane-logcat> <keys dir> [emulator]
set -uo pipefail
log_run=$1 logcat=$2 keys=$3 emulator=${4:-}
count=${CORVANE_DRILL_RECORDS:-400000}
limit=1024000           # bytes of the text log before its writes fail
lift_after=$((count * 3 / 4))

source "$(dirname "${BASH_SOURCE[0]}")/tool_test_lib.sh"

# The limit is per process: the one that logs. Under Wine that is the process the emulator
# ends in (it execs Wine, which runs the program in that same process).
trap '' XFSZ
$emulator "$log_run" "$(p "$keys/dev-reader.pub")" "$(p "$work/log")" $count 0 $lift_after \
  >"$work/run.out" 2>"$work/run.err" &
runner=$!

wait_for_pause() {  # wait_for_pause <what>: true once log_run waits at its next pause
  for _ in $(seq 1 1200); do
    [ -e "$work/log/paused" ] && return 0
    kill -0 "$runner" 2>/dev/null || break
    sleep 0.1
  done
  return 1
}

if ! wait_for_pause; then
  wait "$runner"
  if [ $? -eq 77 ]; then
    echo "skipped: $(cat "$work/run.err")"
    exit 77
  fi
  echo "FAIL log_run did not start logging: $(cat "$work/run.err")"
  exit 1
fi
check "the file-size limit is set on the logging process" 0 \
  "$(prlimit --pid "$runner" --fsize=$limit: >/dev/null 2>&1; echo $?)"
rm -f "$work/log/paused"
if ! wait_for_pause; then
  echo "FAIL log_run did not reach record $lift_after: $(cat "$work/run.err")"
  exit 1
fi
# The callers run ahead of the worker: on a busy machine they reach the pause before the
# worker's writes reach the limit. Lifted only once a write has met it, so that one fails.
text_log=$(ls "$work/log"/app.corvane.*.log 2>/dev/null | head -n 1)
reached=no
for _ in $(seq 1 600); do
  [ -n "$text_log" ] && [ "$(stat -c %s "$text_log")" -ge $limit ] && { reached=yes; break; }
  kill -0 "$runner" 2>/dev/null || break
  sleep 0.1
done
check "the text log reached the limit before it was lifted" yes "$reached"
prlimit --pid "$runner" --fsize=unlimited:
# The sink tries a failed file again at most every 100 ms: by the time the callers go on, it
# has taken bytes again or takes them at its next write.
sleep 0.3
rm -f "$work/log/paused"
wait "$runner"
check "logging run exits 0" 0 "$?"

size=$(stat -c %s "$text_log")
check "the text log grew again after the limit was lifted" yes "$([ "$size" -gt $limit ] && echo yes)"

rc=$(run "$logcat" --key "$(p "$keys/dev-reader.key")" "$(p "$text_log")")
check "logcat exits 1 (damaged)" 1 "$rc"
check "logcat reports one damaged place with its byte offset" 1 \
  "$(grep -c "damaged at byte [0-9]*: segment [0-9]* breaks off .*; read on from the segment header at byte [0-9]*$" "$work/err")"
check "logcat read the log to its end" 1 "$(grep -c 'read to its end past 1 damaged place:' "$work/err")"
check "the log ends with its trailer" 0 "$(grep -c 'without its trailer' "$work/err")"

cut -f2- "$work/out" >"$work/messages"
loss=$(grep -n '\]\[WARNING\]\[text_file_sink([0-9]*)\]' "$work/out")
check "one loss record" 1 "$(echo -n "$loss" | grep -c .)"
loss_line=${loss%%:*}
lost=$(echo "$loss" | cut -f2- | grep -o '^[0-9]*')
echo "     $(echo "$loss" | cut -f2-)"
check "the loss record names the error" 1 "$(echo "$loss" | grep -c 'are lost: .*(error [0-9]*)$')"

# Before the loss record: records 0 to k, the last perhaps cut short by the failure. After it:
# records j to the end, each whole, and the last record.
head -n $((loss_line - 1)) "$work/messages" >"$work/before"
tail -n +$((loss_line + 1)) "$work/messages" >"$work/after"
before=$(wc -l <"$work/before")
after=$(wc -l <"$work/after")
check "records before the failure reached the file" yes "$([ "$before" -gt 1000 ] && echo yes)"
check "records before the failure are whole and in order (the last may be cut)" "" \
  "$(head -n $((before - 1)) "$work/before" | diff <(seq 0 $((before - 2)) | sed "s/.*/run record & of $count/") -)"
cut_record=$(tail -n 1 "$work/before")
want="run record $((before - 1)) of $count"
check "the last record before the failure is the next one, whole or cut short" yes \
  "$([ -n "$cut_record" ] && [[ "$want" == "$cut_record"* ]] && echo yes)"
first_after=$(head -n 1 "$work/after" | sed -n 's/^run record \([0-9]*\) of .*/\1/p')
first_after=${first_after:-$count}  # no run record at all after the loss record
check "records after the failure are whole and in order, up to the last one" "" \
  "$( (seq "$first_after" $((count - 1)) | sed "s/.*/run record & of $count/"; echo "last record of the run") |
      diff - "$work/after")"
# The worker lags the callers: records logged before the pause may reach the file too, or be
# dropped while it still failed. Every record logged after the pause, once the limit was
# lifted, reaches it.
check "records logged after the limit was lifted reached the file" yes \
  "$([ "$first_after" -le $((lift_after + 1)) ] && echo yes)"
# Every record logged is read or counted lost; the one cut by the failure may be both.
logged=$((count + 1))
accounted=$((before + after + lost))
echo "     logged $logged, read $((before + after)) (before $before, after $after), lost $lost"
check "records read plus records lost make the records logged, give or take one" yes \
  "$([ "$accounted" -ge "$logged" ] && [ "$accounted" -le $((logged + 1)) ] && echo yes)"

finish
