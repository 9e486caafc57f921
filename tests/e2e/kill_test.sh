#!/usr/bin/env bash
# A logging process under Wine: its memory log read while it still runs (waiting between two
# records) and after TerminateProcess ended it holds its records in order up to the newest,
# each whole, the newest cut by at most the 7 bytes the encoder may still have held back (which
# corvane-logcat says), readable with the development key.
#   kill_test.sh <log_run.exe> <corvane-logcat.exe> <keys dir>
set -uo pipefail
log_run=$1 logcat=$2 keys=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
emulator=$here/../../scripts/wine-run.sh
# shellcheck source=../tools/tool_test_lib.sh
. "$here/../tools/tool_test_lib.sh"

count=100000000  # far more records than it writes before it is ended
pause_after=60000  # enough for the ring to wrap
memory_log=$work/log/app.corvane.log

# Checks the records corvane-logcat printed (in $work/out): each one is the one that follows
# the record before it, and the newest is the next one cut by at most 7 bytes at its end.
check_newest_records() {  # check_newest_records <what> <newest record, or empty for any>
  cut -f2- "$work/out" >"$work/messages"
  check "$1: many records" yes "$([ "$(wc -l <"$work/messages")" -gt 10000 ] && echo yes)"
  check "$1: every record follows the one before, the newest cut by at most 7 bytes" "" \
    "$(awk -v count=$count -v lines="$(wc -l <"$work/messages")" '
      function after(m,   f) {
        split(m, f, " ")
        if (m ~ /^run record [0-9]+ of [0-9]+$/) {
          return f[3] % 10 == 9 ? "trace after " f[3] : "run record " (f[3] + 1) " of " count
        }
        if (m ~ /^trace after [0-9]+$/) return "run record " (f[3] + 1) " of " count
        return "(no record of the run)"
      }
      NR > 1 && NR < lines && $0 != after(previous) { print "line " NR ": [" $0 "] after [" previous "]" }
      NR > 1 && NR == lines {
        want = after(previous)
        if (index(want, $0) != 1 || length(want) - length($0) > 7) print "newest [" $0 "], not [" want "]"
      }
      { previous = $0 }' "$work/messages" | head -n 5)"
  if [ -n "$2" ]; then
    check "$1: the newest record is the one written last" yes \
      "$(tail -n 1 "$work/messages" | grep -q "^${2:0:$((${#2} - 7))}" && echo yes)"
  fi
  check "$1: logcat says the newest record may lack bytes" 1 \
    "$(grep -c 'newest record may lack up to 7 bytes' "$work/err")"
}

$emulator "$log_run" "$(p "$keys/dev-reader.pub")" "$(p "$work/log")" $count $pause_after \
  >/dev/null 2>&1 &
runner=$!
for _ in $(seq 1 600); do
  [ -e "$work/log/paused" ] && break
  kill -0 "$runner" 2>/dev/null || break
  sleep 0.1
done
if ! [ -e "$work/log/paused" ]; then
  wait "$runner"
  if [ $? -eq 77 ]; then
    echo "skipped: the build's reader key is not the development key"
    exit 77
  fi
  echo "FAIL log_run did not reach record $pause_after"
  exit 1
fi

# While it runs, waiting after record $pause_after (a TRACE record follows every tenth).
newest="run record $pause_after of $count"
[ $((pause_after % 10)) -eq 9 ] && newest="trace after $pause_after"
check "running: logcat exits 0" 0 "$(run "$logcat" --key "$(p "$keys/dev-reader.key")" "$(p "$memory_log")")"
check_newest_records running "$newest"

rm -f "$work/log/paused"
sleep 1
$emulator taskkill /F /IM log_run.exe >/dev/null 2>&1
wait "$runner"

check "ended: logcat exits 0" 0 "$(run "$logcat" --key "$(p "$keys/dev-reader.key")" "$(p "$memory_log")")"
check_newest_records ended ""
# Judged by the record before the newest: the newest may be cut inside its number.
check "ended: it went on after the pause" yes \
  "$(tail -n 2 "$work/messages" | head -n 1 | awk -v p=$pause_after '{ split($0, f, " "); print (f[3] > p + 100 ? "yes" : "no " $0) }')"
check "the process was ended before its last record" 0 "$(grep -c 'last record of the run' "$work/out")"
finish
