#!/usr/bin/env bash
# corvane-demo-game under Wine, as the end-to-end tests use it: its first line through a pipe,
# its window where and as large as asked and in front, message 1004 on its IPC window printed
# with the whole 64-bit game id, a frame rate in its file, pixels that move in the band and
# stay the background colour elsewhere, and its two ways to end ("quit" on standard input and
# WM_CLOSE) with exit code 0, while the end of standard input does not end it.
# While the first game runs, corvane-feed reads its frame-rate file every millisecond (the demo
# has it read once a second): the game's replacements of the file must still succeed.
#   demo_game_test.sh <corvane-demo-game.exe> <window_probe.exe> <corvane-feed.exe>
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: demo_game_test.sh GAME.exe PROBE.exe FEED.exe" >&2; exit 2; }
game=$1 probe=$2 feed=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
scripts=$here/../../scripts
emulator=wine
# shellcheck source=../tools/tool_test_lib.sh
. "$here/../tools/tool_test_lib.sh"
"$scripts/winebed.sh" up || exit 1
eval "$("$scripts/winebed.sh" env)"

game_pids=()
feed_pid=""
trap 'for pid in "${game_pids[@]}" $feed_pid; do kill "$pid" 2>/dev/null; done; rm -rf "$work"' EXIT

wait_for() {  # wait_for <seconds> <command...>: true once the command succeeds
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}

exit_code=""
wait_exit() {  # wait_exit <pid> <seconds>: sets exit_code to its code, or "still running"
  local end=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null; do
    if [ "$SECONDS" -ge "$end" ]; then
      exit_code="still running"
      return
    fi
    sleep 0.1
  done
  wait "$1"
  exit_code=$?
}

probe() { wine "$probe" "$@" 2>&1 | tr -d '\r'; }

background_pixels() {  # background_pixels <png> <geometry>: the region's colours, one per line
  convert "$1" -crop "$2" +repage -unique-colors txt:- | grep -o '#[0-9A-F]\{6\}' | sort -u
}

# Options.
check "--help ends with 0" 0 "$(run "$game" --help)"
check "--help shows the usage" 1 "$(grep -c '^Usage: corvane-demo-game' "$work/out")"
check "--version ends with 0" 0 "$(run "$game" --version)"
check "--version names it" 1 "$(grep -cE '^corvane-demo-game [0-9]+(\.[0-9]+)+\s*$' "$work/out")"
check "an unknown option ends with 2" 2 "$(run "$game" --speed 3)"
check "... and says so in one line" "corvane-demo-game: unknown option '--speed' (see --help)" \
  "$(cat "$work/err")"
check "a bad size ends with 2" 2 "$(run "$game" --size 0,10)"

# A run with standard input from a pipe that stays open and standard output into a pipe, as
# the tests read it.
mkfifo "$work/in"
exec 3<>"$work/in"
wine "$game" --pos 100,80 --size 640,400 --title "Demo game test" \
  --fps-file "$(p "$work/fps.txt")" <"$work/in" > >(cat >"$work/game.out") 2>"$work/game.err" &
game_pids+=($!)
wine "$feed" --live --interval 1 --game-id 7 --fps-file "$(p "$work/fps.txt")" \
  --name corvane_demo_game_test >/dev/null 2>"$work/feed.err" &
feed_pid=$!
wait_for 30 grep -qs '^hwnd=' "$work/game.out"
first=$(head -n 1 "$work/game.out")
pattern='^hwnd=0x([0-9A-F]+) ipc=0x([0-9A-F]+) pid=([0-9]+)$'
if [[ $first =~ $pattern ]]; then
  hwnd=0x${BASH_REMATCH[1]} ipc=0x${BASH_REMATCH[2]} pid=${BASH_REMATCH[3]}
  check "the first line names both windows and the process" yes yes
else
  check "the first line names both windows and the process" "hwnd=0x... ipc=0x... pid=..." "$first"
  finish
  exit 1
fi
check "the lines end in a bare newline" 0 "$(grep -c $'\r' "$work/game.out")"
check "the printed process owns the window" "$pid" "$(probe owner "$hwnd")"
check "the game window is the foreground window" "$hwnd" "$(probe foreground)"
client=$(probe client "$hwnd")
check "the client area has the asked size" "640,400" "${client#* }"
if ! [[ $client =~ ^(-?[0-9]+),(-?[0-9]+)\ [0-9]+,[0-9]+$ ]]; then
  finish
  exit 1
fi
cx=${BASH_REMATCH[1]} cy=${BASH_REMATCH[2]}
check "the client area lies just inside the asked position" yes \
  "$([ "$cx" -ge 100 ] && [ "$cx" -le 130 ] && [ "$cy" -ge 80 ] && [ "$cy" -le 140 ] && echo yes)"

# Message 1004: the whole 64-bit game id; the process id from the low 32 bits of lParam.
probe post "$ipc" 1004 18446744073709551615 "$pid" >/dev/null
probe post "$ipc" 1004 0x123456789ABCDEF0 0xFFFFFFFF00000024 >/dev/null
wait_for 10 test "$(grep -c '^msg1004' "$work/game.out")" -ge 2
check "message 1004 is printed with the game id and the process id" \
  "msg1004 game_id=18446744073709551615 pid=$pid
msg1004 game_id=1311768467463790320 pid=36" "$(grep '^msg1004' "$work/game.out")"

# The frame rate, once a second.
wait_for 10 test -s "$work/fps.txt"
fps=$(head -n 1 "$work/fps.txt")
check "the fps file's first line holds one positive number" yes \
  "$([[ $fps =~ ^[0-9]+\.[0-9]$ ]] && awk -v f="$fps" 'BEGIN { exit !(f > 0) }' && echo yes)"
echo "frame rate under Wine: $fps"
frame_times=$(sed -n 2p "$work/fps.txt")
check "its second line holds frame times in milliseconds, as many as about a second's frames" yes \
  "$([[ $frame_times =~ ^[0-9]+\.[0-9]{2}( [0-9]+\.[0-9]{2})*$ ]] &&
    awk -v n="$(wc -w <<<"$frame_times")" -v f="$fps" 'BEGIN { exit !(n >= (f < 5000 ? f : 5000) / 2) }' && echo yes)"
check "the file has no third line" 2 "$(wc -l <"$work/fps.txt")"

# Pixels: the band moves, the rest of the client area is the plain background.
band_top=$((cy + 400 * 22 / 100)) band_bottom=$((cy + 400 * 38 / 100))
"$scripts/winebed.sh" screenshot "$work/a.png" 2>/dev/null
sleep 0.3
"$scripts/winebed.sh" screenshot "$work/b.png" 2>/dev/null
check "above the band the client area is #303040" "#303040" \
  "$(background_pixels "$work/a.png" "640x$((band_top - cy))+$cx+$cy")"
check "below the band the client area is #303040" "#303040" \
  "$(background_pixels "$work/a.png" "640x$((cy + 400 - band_bottom))+$cx+$band_bottom")"
band="640x$((band_bottom - band_top))+$cx+$band_top"
convert "$work/a.png" -crop "$band" +repage "$work/a-band.png"
convert "$work/b.png" -crop "$band" +repage "$work/b-band.png"
changed=$(compare -metric AE "$work/a-band.png" "$work/b-band.png" null: 2>&1)
check "the band moves between two screenshots" yes "$([ "${changed%% *}" -gt 0 ] && echo yes)"

# A second game, started while the first runs, with standard input at its end at once: it
# takes the foreground from the first. Its frame-rate file cannot be written: it says so once
# and runs on.
wine "$game" --size 320,200 --fps-file 'Z:\no\such\folder\fps.txt' </dev/null \
  >"$work/game2.out" 2>"$work/game2.err" &
game_pids+=($!)
wait_for 30 grep -qs '^hwnd=' "$work/game2.out"
second=$(head -n 1 "$work/game2.out")
hwnd2=0x0
[[ $second =~ $pattern ]] && hwnd2=0x${BASH_REMATCH[1]}
check "a game started later takes the foreground" "$hwnd2" "$(probe foreground)"

check "the first game is still running" yes "$(kill -0 "${game_pids[0]}" 2>/dev/null && echo yes)"
echo front >&3
first_in_front() { [ "$(probe foreground)" = "$hwnd" ]; }
check "\"front\" on standard input brings the first game back in front" yes \
  "$(wait_for 10 first_in_front && echo yes)"
echo quit >&3
wait_exit "${game_pids[0]}" 20
check "\"quit\" on standard input ends it with 0" 0 "$exit_code"
exec 3>&-
check "nothing on standard error, though the file was read all the while" "" \
  "$(tr -d '\r' <"$work/game.err")"
kill "$feed_pid"
check "the feed ran without a fault" "" "$(grep -v 'no frame rate in .* yet' "$work/feed.err")"

# Long enough for a few seconds of frame-rate writes.
sleep 2.5
check "the end of standard input does not end it" yes \
  "$(kill -0 "${game_pids[1]}" 2>/dev/null && echo yes)"
check "the default position still gives the asked size" "320,200" "$(probe client "$hwnd2" | cut -d' ' -f2)"
probe post "$hwnd2" 0x10 0 0 >/dev/null  # WM_CLOSE
wait_exit "${game_pids[1]}" 20
check "WM_CLOSE ends it with 0" 0 "$exit_code"
check "a frame-rate file that cannot be written is reported once" \
  "corvane-demo-game: cannot write Z:\no\such\folder\fps.txt (error 3)" \
  "$(tr -d '\r' <"$work/game2.err")"

finish
