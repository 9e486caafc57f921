#!/usr/bin/env bash
# The real Corvane.exe under Wine: exit codes of start-up, and the crash-report library found
# at <exe dir>\..\crash_x64 of an install laid out as the host client lays it out.
#   startup_test.sh <Corvane.exe> <test crash_report_helper.dll> <expected version>
set -uo pipefail
exe=$1 helper_dll=$2 version=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wine_run=$here/../../scripts/wine-run.sh

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passes=0 failures=0
check() {  # check <name> <expected> <actual>
  if [ "$2" == "$3" ]; then
    echo "ok   $1"
    passes=$((passes + 1))
  else
    echo "FAIL $1: expected [$2], got [$3]"
    failures=$((failures + 1))
  fi
}

# Host/overlay/Corvane.exe with Host/crash_x64/crash_report_helper.dll beside it.
mkdir -p "$work/Host/overlay" "$work/Host/crash_x64"
cp "$exe" "$work/Host/overlay/Corvane.exe"
cp "$helper_dll" "$work/Host/crash_x64/crash_report_helper.dll"
export CORVANE_TEST_CRASH_LOG="Z:${work//\//\\}\\calls.txt"

run() {  # run <args...>: prints the exit code
  "$wine_run" "$work/Host/overlay/Corvane.exe" "$@" >/dev/null 2>&1
  echo $?
}

check "no arguments exits 1" 1 "$(run)"
check "--hwnd=1A2B exits 1" 1 "$(run --hwnd=1A2B)"
check "--hwnd at the end exits 1" 1 "$(run --game-id 42 --hwnd)"
check "--hwnd followed by spaces exits 1" 1 "$(run '--hwnd   ')"
check "--hwnd 0 exits 1" 1 "$(run --hwnd 0 --game-id 42)"
# A handle that names no window: GDI+ starts and stops, and the overlay cannot start.
check "--hwnd of no window exits 1" 1 "$(run --hwnd 1A2B --game-id 42)"

# Each run above loaded the library once and unloaded it once, in that order, with the
# version of the executable.
expected_init="init size=248 app=corvane version=$version v76=8191 v96=0 v200=11 v204=4 v208=10000001 v216=0 v224=0 v232=4 v240=1 reserved_zero=1"
calls=$(tr -d '\r' <"$work/calls.txt" 2>/dev/null)
expected_calls=$(for _ in 1 2 3 4 5 6; do printf '%s\nuninit\n' "$expected_init"; done)
check "crash library: one init then one uninit per run" "$expected_calls" "$calls"

# Without the library start-up goes on the same way.
rm "$work/Host/crash_x64/crash_report_helper.dll"
check "no crash library, no arguments exits 1" 1 "$(run)"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
