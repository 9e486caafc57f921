#!/usr/bin/env bash
# A logging process ended by TerminateProcess under Wine: its memory log still holds its
# records, the newest ones at the end, readable with the development key.
#   kill_test.sh <log_run.exe> <corvane-logcat.exe> <keys dir>
set -uo pipefail
log_run=$1 logcat=$2 keys=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
emulator=$here/../../scripts/wine-run.sh
# shellcheck source=../tools/tool_test_lib.sh
. "$here/../tools/tool_test_lib.sh"

# Far more records than it can write before it is ended.
$emulator "$log_run" "$(p "$keys/dev-reader.pub")" "$(p "$work/log")" 100000000 >/dev/null 2>&1 &
runner=$!
for _ in $(seq 1 100); do
  [ -s "$work/log/app.corvane.log" ] && break
  sleep 0.1
done
sleep 1
$emulator taskkill /F /IM log_run.exe >/dev/null 2>&1
wait "$runner"
if [ $? -eq 77 ]; then
  echo "skipped: the build's reader key is not the development key"
  exit 77
fi

run "$logcat" --key "$(p "$keys/dev-reader.key")" "$(p "$work/log/app.corvane.log")" >/dev/null
numbers=$(grep -o $'\trun record [0-9]*' "$work/out" | grep -o '[0-9]*$')
last=$(echo "$numbers" | tail -n 2 | head -n 1)
check "the memory log holds many records of the run" yes "$([ "${last:-0}" -gt 1000 ] && echo yes)"
# The very newest record may lack the few bytes the encoder still held back when it ended.
check "the newest records run in order up to the end" "" \
  "$(echo "$numbers" | tail -n 200 | head -n -1 | awk 'NR > 1 && $1 != prev + 1 { print "gap after " prev } { prev = $1 }')"
check "the process was ended before its last record" 0 "$(grep -c 'last record of the run' "$work/out")"
finish
