#!/usr/bin/env bash
# A host that restarts, and one that dies, for real under Wine: Corvane over the demo game, the
# block naming the game's own IPC window first. Then a second host window (a second demo game's)
# takes its place in the block: it gets exactly one message 1004, with the full game id and the
# game's process id, and the first window no second one. Then the second host's program ends:
# its window is gone, so the overlay shows every row's fallback (the box narrows, and the log
# says why), until the block names a live window again. Last, a host that hangs with its window
# alive: the feed republishes one "seq", and within a few seconds the overlay shows the
# fallbacks; a changing "seq" brings the figures back.
#   host_restart_test.sh <Corvane.exe> <corvane-demo-game.exe> <corvane-feed.exe>
#                        <corvane-inspect.exe> <corvane-logcat.exe> <keys dir>
set -uo pipefail
corvane=$1 game_exe=$2 feed_exe=$3 inspect_exe=$4 logcat=$5 keys=$6
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/e2e/overlay_e2e_lib.sh
source "$here/overlay_e2e_lib.sh"

game_id=18364758544493064720  # above 2^63: the whole 64 bits must reach the host
host="$work/host"
mkdir -p "$host"
doc="$work/figures.json"
printf '%s' '{"fps": [{"game_id": 18364758544493064720, "cur": 59.6}], "cpu": 12.5, "memory": {"free": 8000, "total": 16243}, "diskio": [{"name": "_Total", "used": 3.5}], "ui_style": "{\"alpha\": 100, \"font-size\": 14, \"pos\": \"top-center\"}"}' >"$doc"
current_alpha=100

msgs() { tr -d '\r' <"$work/game-$1.out" | grep -c '^msg1004 '; }  # msgs <game>
said_times() { [ "$(msgs "$1")" -ge "$2" ]; }                       # said_times <game> <count>

# The second host's window lies outside the game's region, and the game is brought back in
# front after it: the overlay refreshes only while its game is the foreground window.
start_game second --pos 960,600 --size 200,120 --title "Second host"
start_game main --pos 100,80 --size 800,500 --title "Corvane demo game"
tell_game main front
start_feed --json-file "$(winpath "$doc")" --interval 250 --ipc "$main_ipc"
check "corvane-feed published the block" 0 "$(wait_for_block; echo $?)"
start_corvane "vx=$(winpath "$host")" --hwnd "$main_hwnd" --game-id "$game_id"

wait_for "the first host window got message 1004" 30 said_times main 1
wait_for "the overlay shows" 20 box_present
live_width=$box_w
# What corvane-inspect takes for the game window's DPI, to set beside the overlay's below.
inspect_dpi=$(wine "$inspect_exe" --json-file "$(winpath "$doc")" --hwnd "$main_hwnd" 2>/dev/null |
  tr -d '\r' | python3 -c 'import json, sys; d = json.load(sys.stdin); print(d["dpi"], d["dpi_from"])')

# The host restarts: the block names the second window from now on. A section lives while a
# process has it open, and Corvane has, so the block stays while no feed runs.
stop_feed
start_feed --json-file "$(winpath "$doc")" --interval 250 --ipc "$second_ipc"
wait_for "the new host window got message 1004" 15 said_times second 1
check "message 1004 to the new window carries the game id and the game's process id" \
  "msg1004 game_id=$game_id pid=$main_pid" "$(tr -d '\r' <"$work/game-second.out" | grep -m 1 '^msg1004 ')"
sleep 4  # four more refreshes
check "the new host window got exactly one message 1004" 1 "$(msgs second)"
check "the first host window got no second one" 1 "$(msgs main)"

# The second host's program ends: the window the block names is no window any more.
tell_game second quit
check "the second host's program ends on quit" 0 "$(wait_game second; echo $?)"
box_band="$game_region_x,$box_y,$game_region_w,$box_h"
narrower() { find_box "$current_alpha" "$box_band" && [ "$box_w" -lt "$live_width" ]; }
if wait_for "the overlay shows the fallbacks once the host window is gone (the box narrows)" 10 \
  narrower; then
  echo "     (box $live_width px wide with figures, $box_w px with the fallbacks)"
elif find_box "$current_alpha"; then
  echo "     (a box at $box_region, $live_width px wide with figures)"
else
  echo "     (no box on the screen)"
fi

# A live host window again: the figures come back, and the first window, told before, gets
# nothing more.
stop_feed
start_feed --json-file "$(winpath "$doc")" --interval 250 --ipc "$main_ipc"
wait_for "the figures come back with a live host window" 10 box_wider_than $((live_width - 1)) \
  "$box_band"
sleep 2
check "the first host window still got only one message 1004" 1 "$(msgs main)"

# The host hangs: its heartbeat stands still. corvane-feed publishes a file's own "seq" as it
# stands, so the file says 7 at every publication from now on; then it says none again, and
# corvane-feed's own, which changes at every publication, goes out.
sed 's/^{/{"seq": 7, /' "$doc" >"$doc.new" && mv "$doc.new" "$doc"
hung_at=$(now_ms)
if wait_for "the overlay shows the fallbacks once the host's seq stands still" 10 narrower; then
  echo "     (the box narrowed $(($(now_ms) - hung_at)) ms after the seq stood still)"
fi
sed 's/^{"seq": 7, /{/' "$doc" >"$doc.new" && mv "$doc.new" "$doc"
wait_for "the figures come back with a changing seq" 10 box_wider_than $((live_width - 1)) \
  "$box_band"

tell_game main quit
check "the demo game ends on quit" 0 "$(wait_game main; echo $?)"
wait_corvane 20
check "Corvane ends with exit code 0 once the game has gone" 0 "$corvane_rc"

records=$(decode_text_log "$host/log")
check "log: one message 1004 to each host window" 2 \
  "$(echo "$records" | grep -c "NotifyVexoraEnv: PostMessage(ipc=0*\(${main_ipc^^}\|${second_ipc^^}\), 1004, game_id=$game_id, pid=$main_pid)")"
check "log: stale once, because the host window is gone" 1 \
  "$(echo "$records" | grep -c "Figures stale, showing the fallbacks: the host's IPC window 0*${second_ipc^^} is no longer a window")"
check "log: stale once more, because the host's seq stood still" 1 \
  "$(echo "$records" | grep -c "Figures stale, showing the fallbacks: the host's seq 7 was read at 3 refreshes in a row")"
# A restart of corvane-feed that takes Wine two seconds or more leaves one seq standing at three
# refreshes too: that spell is stale and ends like the others.
check "log: live again after each stale spell" \
  "$(echo "$records" | grep -c 'Figures stale, showing the fallbacks: ')" \
  "$(echo "$records" | grep -c 'Figures live again$')"
# The game monitor's DPI, or the screen's where that cannot be had, and which one it was.
dpi_record=$(echo "$records" | grep -o "DPI from the game's monitor: [0-9]*\|The game's monitor DPI is not available, the screen's is used: [0-9]*")
check "log: where the DPI came from, once" 1 "$(echo "$dpi_record" | grep -c .)"
echo "     ($dpi_record)"
case "$dpi_record" in
  "DPI from the game's monitor: "*) overlay_dpi="${dpi_record##*: } the game window's monitor" ;;
  *) overlay_dpi="${dpi_record##*: } the screen" ;;
esac
check "corvane-inspect --hwnd takes the DPI the overlay took, from where it took it" \
  "$overlay_dpi" "$inspect_dpi"

finish
