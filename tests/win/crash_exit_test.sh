#!/usr/bin/env bash
# A crash in a program set up as Corvane's start-up does ends the process at once, with a
# non-zero exit code that a launcher sees: no dialog and no debugger over the game, under Wine
# on the virtual display. Each kind of crash: a fault, an abort, an escaping C++ exception.
# With minidumps set up, each leaves one in the folder given, and ends the same way.
#   crash_exit_test.sh <crash_exit_probe.exe>
set -uo pipefail
probe=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
emulator=$here/../../scripts/wine-run.sh
# shellcheck source=../tools/tool_test_lib.sh
. "$here/../tools/tool_test_lib.sh"

debuggers() { pgrep -c -f 'winedbg' || true; }

before=$(debuggers)
# wine passes on the low 8 bits of the exit code: 0xC0000005 (access violation) gives 5, and
# an abort gives 3 (as does the C++ run-time's terminate, which aborts).
for case in fault:5 abort:3 throw:3; do
  kind=${case%:*} want=${case#*:}
  timeout 60 "$emulator" "$probe" "$kind" >"$work/$kind.out" 2>&1
  check "$kind: the process ends at once with its crash code" "$want" "$?"
  check "$kind: no debugger was started" "$before" "$(debuggers)"

  mkdir -p "$work/dumps-$kind"
  timeout 60 "$emulator" "$probe" "$kind" --dumps "Z:${work//\//\\}\\dumps-$kind" \
    >"$work/$kind-dump.out" 2>&1
  check "$kind with minidumps: the same crash code" "$want" "$?"
  dump=$(find "$work/dumps-$kind" -name 'app.corvane.crash.*.dmp' | head -n 1)
  check "$kind with minidumps: one minidump" "1 MDMP" \
    "$(find "$work/dumps-$kind" -name '*.dmp' | grep -c .) $(head -c 4 "${dump:-/dev/null}")"
done
finish
