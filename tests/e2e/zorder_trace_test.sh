#!/usr/bin/env bash
# The real overlay with a real topmost window above the game (as a taskbar or a hidden tooltip
# lies above a game in front) never inserts itself behind that window: on Windows that would
# make the overlay topmost for good. Wine does not show that rule, so the test reads what
# Corvane hands to SetWindowPos from Wine's +win trace ("NtUserSetWindowPos hwnd X, after Y").
# The game is raised to the top of the non-topmost band a few times, so that the topmost window
# lies directly above it when the overlay corrects its place.
#   zorder_trace_test.sh <Corvane.exe> <corvane-demo-game.exe> <corvane-feed.exe>
#                        <corvane-inspect.exe> <window_probe.exe>
set -uo pipefail
corvane=$1 game_exe=$2 feed_exe=$3 inspect_exe=$4 window_probe=$5
keys=""
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/e2e/overlay_e2e_lib.sh
source "$here/overlay_e2e_lib.sh"

lower() { tr 'A-F' 'a-f'; }  # Wine's trace writes handles in lower case

start_game main --pos 100,80 --size 600,400 --title "Corvane demo game"
# The topmost window, shown by a process of its own until the test ends.
wine "$window_probe" topmost 150,300 200,100 >"$work/topmost.out" 2>/dev/null &
background_pids+=("$!")
topmost_shown() { grep -q '^hwnd=' "$work/topmost.out"; }
wait_for "a topmost window shows" 30 topmost_shown
topmost=$(tr -d '\r' <"$work/topmost.out" | sed -n 's/^hwnd=0x//p' | head -n 1 | lower)
tell_game main front

start_feed --json '{"cpu": 12.5, "ui_style": "{\"alpha\": 100, \"pos\": \"top-center\"}"}' \
  --interval 250
check "corvane-feed published the block" 0 "$(wait_for_block; echo $?)"
WINEDEBUG=+win wine "$corvane" --hwnd "$main_hwnd" --game-id 1 >/dev/null 2>"$work/trace" &
corvane_pid=$!
background_pids+=("$corvane_pid")

# The overlay's window, as Wine's trace names it when it is made (at 700 x 32).
overlay_hwnd() {
  tr -d '\r' <"$work/trace" |
    sed -n 's/.*NtUserCreateWindowEx hwnd 0x\([0-9a-fA-F]*\) cs 0,0 700x32 .*/\1/p' | head -n 1
}
placed() { grep -q 'NtUserSetWindowPos hwnd .*flags 00000013' "$work/trace"; }
wait_for "the overlay places itself in the z-order" 30 placed
overlay=$(overlay_hwnd)
check "the trace names the overlay's window" yes "$([ -n "$overlay" ] && echo yes || echo no)"

above_game() { wine "$window_probe" above "0x$main_hwnd" 2>/dev/null | tr -d '\r' | lower; }
topmost_directly_above=0
for _ in 1 2 3 4; do
  wine "$window_probe" raise "0x$main_hwnd" 2>/dev/null
  [ "$(above_game)" = "0x$topmost" ] && topmost_directly_above=$((topmost_directly_above + 1))
  sleep 1  # four z-order corrections
done
check "the topmost window lay directly above the raised game" yes \
  "$([ "$topmost_directly_above" -gt 0 ] && echo yes || echo no)"
overlay_above() { [ "$(above_game)" = "0x$overlay" ]; }
wait_for "the overlay lies directly above the game again" 5 overlay_above

kill "$corvane_pid" 2>/dev/null
wait "$corvane_pid" 2>/dev/null
# Every z-order placement of the overlay: its SetWindowPos calls without SWP_NOZORDER.
placements=$(tr -d '\r' <"$work/trace" | lower | grep "NtUserSetWindowPos hwnd 0x$overlay, after " |
  grep -E 'flags 0*13$' || true)
echo "     $(grep -c . <<<"$placements") z-order placements of the overlay"
check "the overlay was placed after the game was raised" yes \
  "$([ "$(grep -c . <<<"$placements")" -ge 2 ] && echo yes || echo no)"
check "no placement names the topmost window as insert-after" 0 \
  "$(grep -ci "after 0x$topmost," <<<"$placements")"
check "the overlay went to the top of the non-topmost band instead" yes \
  "$(grep -q 'after (nil),' <<<"$placements" && echo yes || echo no)"
finish
