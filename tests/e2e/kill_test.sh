#!/usr/bin/env bash
# A logging process ended by TerminateProcess under Wine: its memory log still holds its
# records, the newest ones at the end, readable with the development key.
#   kill_test.sh <log_run.exe> <corvane-logcat.exe> <keys dir>
set -uo pipefail
log_run=$1 logcat=$2 keys=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wine_run=$here/../../scripts/wine-run.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
winpath() { echo "Z:${1//\//\\}"; }

# Far more records than it can write before it is ended.
"$wine_run" "$log_run" "$(winpath "$keys/dev-reader.pub")" "$(winpath "$work/log")" 100000000 \
  >/dev/null 2>&1 &
runner=$!
for _ in $(seq 1 100); do
  [ -s "$work/log/app.corvane.log" ] && break
  sleep 0.1
done
sleep 1
"$wine_run" taskkill /F /IM log_run.exe >/dev/null 2>&1
wait "$runner"
rc=$?
if [ "$rc" -eq 77 ]; then echo "skipped: the build's reader key is not the development key"; exit 77; fi

"$wine_run" "$logcat" --key "$(winpath "$keys/dev-reader.key")" "$(winpath "$work/log/app.corvane.log")" \
  2>/dev/null | tr -d '\r' | cut -f2- >"$work/records.txt"
last=$(grep -o '^run record [0-9]*' "$work/records.txt" | tail -n 1 | grep -o '[0-9]*$')
passes=0 failures=0
check() {  # check <name> <condition as text "yes">
  if [ "$2" == yes ]; then echo "ok   $1"; passes=$((passes + 1)); else echo "FAIL $1"; failures=$((failures + 1)); fi
}
check "the memory log holds records of the run (newest: ${last:-none})" "$([ "${last:-0}" -gt 1000 ] && echo yes)"
check "the newest records run in order up to the end" "$(grep -o '^run record [0-9]*' "$work/records.txt" |
  tail -n 200 | grep -o '[0-9]*$' | awk 'NR > 1 && $1 != prev + 1 { bad = 1 } { prev = $1 } END { print bad ? "no" : "yes" }')"
check "the process was ended before its last record" "$([ "$(grep -c '^last record of the run' "$work/records.txt")" = 0 ] && echo yes)"
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
