#!/usr/bin/env bash
# A real crash of the real Corvane.exe under Wine, running over the demo game: a thread started
# in it at an address where no code is (CreateRemoteThread). The process ends at once with the
# crash's code, with no debugger and no dialog; a minidump of the crash is in the log folder,
# with the faulting thread and the exception in it; only the newest five dumps are kept; the
# memory log names the dump. Then the same with the crash-report library loaded, its own crash
# handler in place: that handler runs, and passes the crash on to Corvane's.
#   crash_dump_test.sh <Corvane.exe> <corvane-demo-game.exe> <corvane-feed.exe>
#                      <corvane-inspect.exe> <corvane-logcat.exe> <keys dir> <window_probe.exe>
#                      <test crash_report_helper.dll>
set -uo pipefail
exe=$1 game_exe=$2 feed_exe=$3 inspect_exe=$4 logcat=$5 keys=$6 window_probe=$7 helper_dll=$8
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/e2e/overlay_e2e_lib.sh
source "$here/overlay_e2e_lib.sh"

# Host/overlay/Corvane.exe as a launcher installs it; the logs go to Host/log.
host=$work/Host
log_dir=$host/log
mkdir -p "$host/overlay" "$log_dir"
cp "$exe" "$host/overlay/Corvane.exe"
corvane=$host/overlay/Corvane.exe
# Dumps of six earlier crashes, older than any this run makes.
for second in 1 2 3 4 5 6; do
  echo old >"$log_dir/app.corvane.crash.20200101-00000$second-000.1.dmp"
done

debuggers() { pgrep -c -f 'winedbg' || true; }
dumps() { find "$log_dir" -maxdepth 1 -name 'app.corvane.crash.*.dmp' -printf '%f\n' | sort; }
new_dumps() { dumps | grep -v '^app.corvane.crash.2020' || true; }
overlay_window() { wine "$window_probe" find CorvaneWindow 2>/dev/null | tr -d '\r'; }
overlay_up() { [ -n "$(overlay_window)" ]; }

start_game main --pos 100,80 --size 600,400 --title "Corvane demo game"
tell_game main front
start_feed --json '{"cpu": 12.5, "ui_style": "{\"alpha\": 100}"}' --interval 250
check "corvane-feed published the block" 0 "$(wait_for_block; echo $?)"

# crash_run <name>: starts Corvane, crashes it once its window is up; sets crash_exit (the full
# exit code, as window_probe saw it) and corvane_rc (Wine's low 8 bits).
crash_run() {
  start_corvane "vx=$(winpath "$host")" --hwnd "$main_hwnd" --game-id 7
  wait_for "$1: the overlay's window is up" 30 overlay_up
  crash_exit=$(wine "$window_probe" crash "$(overlay_window)" 2>"$work/crash.err" | tr -d '\r')
  wait_corvane 30
}

before=$(debuggers)
crash_run "no crash library"
check "the process ends with the access violation's code" "exit=0xC0000005" "$crash_exit"
check "Wine passes on its low 8 bits" 5 "$corvane_rc"
check "no debugger was started" "$before" "$(debuggers)"
check "one new minidump" 1 "$(new_dumps | grep -c .)"
check "the newest five dumps are kept: four old ones and the new one" \
  "$(printf 'app.corvane.crash.20200101-00000%s-000.1.dmp\n' 3 4 5 6)
$(new_dumps)" "$(dumps)"
dump=$(new_dumps | head -n 1)
if [ -n "$dump" ]; then
  read -r code thread listed threads < <(python3 "$here/minidump_check.py" "$log_dir/$dump")
  check "the dump holds the access violation" 0xC0000005 "$code"
  check "the faulting thread is in the dump's thread list" listed "$listed"
  size=$(stat -c %s "$log_dir/$dump")
  echo "     ($dump: $size bytes, $threads threads)"
  check "the dump is small (under 4 MiB)" yes "$([ "$size" -lt 4194304 ] && echo yes || echo no)"
  memory_log=$(wine "$logcat" --key "$(winpath "$keys/dev-reader.key")" \
    "$(winpath "$log_dir/app.corvane.log")" 2>/dev/null | tr -d '\r')
  check "the memory log names the dump" \
    "[crash] exception 0xC0000005 at 0x10 in thread $thread, minidump $dump" \
    "$(grep -o '\[crash\] exception.*' <<<"$memory_log" | tail -n 1)"
  check "and then that the process ends" yes \
    "$(tail -n 1 <<<"$memory_log" | grep -q '\[crash\] the process' && echo yes || echo no)"
fi

# The crash-report library, with a crash handler of its own.
mkdir -p "$host/crash_x64"
cp "$helper_dll" "$host/crash_x64/crash_report_helper.dll"
export CORVANE_TEST_CRASH_LOG="$(winpath "$work/calls.txt")" CORVANE_TEST_CRASH_FILTER=1
first_dump=$dump
crash_run "with the crash library"
unset CORVANE_TEST_CRASH_FILTER
check "the library's own handler took the crash" "crash 0xC0000005" \
  "$(tr -d '\r' <"$work/calls.txt" 2>/dev/null | grep '^crash' | head -n 1)"
check "the process ends with the access violation's code" "exit=0xC0000005" "$crash_exit"
check "no debugger was started" "$before" "$(debuggers)"
check "passed on, the crash left a dump of its own as well; five are kept" \
  "5 yes" "$(dumps | grep -c .) $(new_dumps | grep -vq "^$first_dump\$" && echo yes || echo no)"

tell_game main quit
finish
