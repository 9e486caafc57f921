#!/usr/bin/env bash
# Corvane with its host folder on a small disk (a 6 MB tmpfs), for real under Wine, while
# records are written (the style's font size changes every second). First the disk fills up
# during a run: the text log is on the disk within seconds of the start; while the disk is
# full nothing crashes (the memory log's pages all have their blocks) and no dialog or debugger
# comes up, and the box keeps drawing; the overlay ends with exit code 0 about 5 s after the
# game closes. Then a second run starts on the full disk, whose text log cannot take even its
# opening: once the disk frees, the log goes on with a record that counts the lines lost and
# names the program's version, and the records after it. Mounting needs root: without it the
# test is skipped.
#   disk_full_test.sh <Corvane.exe> <corvane-demo-game.exe> <corvane-feed.exe>
#                     <corvane-inspect.exe> <corvane-logcat.exe> <keys dir>
set -uo pipefail
corvane=$1 game_exe=$2 feed_exe=$3 inspect_exe=$4 logcat=$5 keys=$6
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/e2e/overlay_e2e_lib.sh
source "$here/overlay_e2e_lib.sh"

host="$work/host"
mkdir -p "$host"
if ! mount -t tmpfs -o size=6m corvane-small-disk "$host" 2>"$work/mount.err"; then
  echo "skipped: cannot mount a 6 MB tmpfs for the host folder: $(cat "$work/mount.err")"
  exit 77
fi
trap 'stop_session; [ -n "${CORVANE_E2E_KEEP:-}" ] && cp -r "$host/log" "$work/host-log"; umount "$host"; if [ -n "${CORVANE_E2E_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi' EXIT

game_id=4242
doc="$work/figures.json"
write_doc() {  # write_doc <font size>
  printf '{"fps": [{"game_id": %s, "cur": 60}], "cpu": 12.5, "memory": {"free": 8000, "total": 16243}, "ui_style": "{\\"alpha\\": 100, \\"font-size\\": %s, \\"pos\\": \\"top-center\\"}"}' \
    "$game_id" "$1" >"$doc.new" && mv "$doc.new" "$doc"
}
font_changer() {  # a new font size every 500 ms: each one the overlay reads writes records
  local i=0
  while :; do
    write_doc $((14 + i % 8))
    i=$((i + 1))
    sleep 0.5
  done
}
debuggers() { pgrep -c -f winedbg || true; }
debuggers_before=$(debuggers)

write_doc 14
current_alpha=100
start_game main --pos 100,80 --size 800,500 --title "Corvane demo game"
tell_game main front
start_feed --json-file "$(winpath "$doc")" --interval 250 --ipc "$main_ipc"
check "corvane-feed published the block" 0 "$(wait_for_block; echo $?)"
start_corvane "vx=$(winpath "$host")" --hwnd "$main_hwnd" --game-id "$game_id"
wait_for "the overlay shows" 20 box_present

# The text log reaches the disk within about a second of each record, not only at the exit.
# (The output is taken whole: grep -q would end the reader early, which pipefail counts.)
start_records_on_disk() { [[ "$(decode_text_log "$host/log")" == *'Corvane starting, version='* ]]; }
wait_for "the running overlay's text log on disk holds the start records" 10 start_records_on_disk

font_changer &
background_pids+=($!)
sleep 3
# Fill the disk: the memory log's blocks were all taken at the start, the text log's next
# writes fail.
dd if=/dev/zero of="$host/filler" bs=64k >/dev/null 2>&1
avail=$(df --output=avail -B1 "$host" | tail -n 1 | tr -d ' ')
check "the disk is full" yes "$([ "$avail" -lt 65536 ] && echo yes)"
sleep 15
check "no debugger or crash dialog came up while the disk was full" "$debuggers_before" "$(debuggers)"
check "Corvane still runs on the full disk" yes "$(kill -0 "$corvane_pid" 2>/dev/null && echo yes)"
wait_for "the box keeps drawing on the full disk" 10 box_present

rm -f "$host/filler"
tell_game main quit
check "the demo game ends on quit" 0 "$(wait_game main; echo $?)"
game_closed_at=$(now_ms)
wait_corvane 20
closed_for=$(($(now_ms) - game_closed_at))
check "Corvane ends with exit code 0 once the game has gone" 0 "$corvane_rc"
check "... about 5 s after the game closed" yes "$(within $closed_for 4500 9000 && echo yes)"
echo "     (after $closed_for ms)"

# The second run, on a disk that is full from its start.
newest_text_log() { decode_text_log_file "$(ls "$host"/log/app.corvane.2*.log | tail -n 1)"; }
decode_text_log_file() {
  wine "$logcat" --key "$(winpath "$keys/dev-reader.key")" "$(winpath "$1")" 2>/dev/null | tr -d '\r'
}
logs_before=$(ls "$host"/log/app.corvane.2*.log | wc -l)
dd if=/dev/zero of="$host/filler" bs=64k >/dev/null 2>&1
start_game second --pos 100,80 --size 800,500 --title "Corvane demo game"
tell_game second front
stop_feed
start_feed --json-file "$(winpath "$doc")" --interval 250 --ipc "$second_ipc"
start_corvane "vx=$(winpath "$host")" --hwnd "$second_hwnd" --game-id "$game_id"
wait_for "on the full disk: the overlay shows" 20 box_present
sleep 4
check "on the full disk: a new text log, empty" "$((logs_before + 1)) 0" \
  "$(ls "$host"/log/app.corvane.2*.log | wc -l) $(stat -c %s "$(ls "$host"/log/app.corvane.2*.log | tail -n 1)")"
rm -f "$host/filler"
loss_record_on_disk() {
  [[ "$(newest_text_log)" == *'record lines could not be written to this log and are lost'* ]]
}
wait_for "the loss record reaches the disk once it frees" 15 loss_record_on_disk
sleep 3
tell_game second quit
check "the second demo game ends on quit" 0 "$(wait_game second; echo $?)"
wait_corvane 20
check "the second Corvane ends with exit code 0" 0 "$corvane_rc"
check "no debugger or crash dialog came up" "$debuggers_before" "$(debuggers)"

records=$(newest_text_log)
loss=$(echo "$records" | grep 'record lines could not be written to this log and are lost')
echo "     $(echo "$loss" | cut -f2-)"
check "log: one loss record with a count" 1 "$(echo "$loss" | grep -c $'\t''[1-9][0-9]* record lines')"
check "log: the loss record names the program and its version" 1 \
  "$(echo "$loss" | grep -c '; the log of Corvane version=[0-9.]*, pid=[0-9]*$')"
after=$(echo "$records" | sed -n '/record lines could not be written/,$p' | grep -c 'Font size changed')
check "log: font changes after the space came back" yes "$([ "$after" -gt 0 ] && echo yes)"
check "log: the run's last record" 1 "$(echo "$records" | grep -c 'Corvane exit with code 0')"
finish
