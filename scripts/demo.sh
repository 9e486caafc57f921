#!/usr/bin/env bash
# Installs what is needed, builds the Windows programs it runs and runs the overlay under Wine:
# the demo game at 60 frames a second, corvane-feed publishing this machine's figures and the
# game's frame rate, and Corvane.exe attached to the game window. Leaves screenshots and the
# decoded log in build/demo. Uses the display in $DISPLAY when there is one (the overlay shows
# live there), else Xvfb.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then
  sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi

user_display=""
if [ -n "${DISPLAY:-}" ] && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  user_display=$DISPLAY
fi

scripts/install-deps.sh
# Only the programs the demo runs, not the whole preset with its tests and benchmarks.
echo "== build: the demo's programs"
cmake --preset windows >/dev/null
cmake --build --preset windows --target Corvane corvane-demo-game corvane-feed corvane-inspect \
  corvane-logcat
scripts/winebed.sh up
trap 'scripts/winebed.sh down' EXIT
eval "$(scripts/winebed.sh env)"
[ -z "$user_display" ] || export DISPLAY=$user_display

bin=build/windows/bin
corvane=$bin/Corvane.exe game_exe=$bin/corvane-demo-game.exe feed_exe=$bin/corvane-feed.exe
inspect_exe=$bin/corvane-inspect.exe
logcat=build/windows/tools/logcat/corvane-logcat.exe
demo=build/demo
work=$demo/run
rm -rf "$demo" && mkdir -p "$work" "$demo/host"
source scripts/overlay_session.sh
trap 'stop_session; scripts/winebed.sh down' EXIT

game_id=42
# Paced like a game on a 60 Hz display: its frame times graph about 16.7 ms on a 40 ms scale.
game_fps=60
# Figures coloured by thresholds: frame rates (and their lows) below 30 red, 30 to 60 yellow,
# 60 or more green; CPU and RAM at 90% or more red, below it in the text's colour ($1).
colors() {
  printf '{"fps": {"values": [30, 60], "colors": ["#ff4040", "#ffd040", "#40ff80"]}, '
  printf '"cpu": {"values": [90], "colors": ["%s", "#ff4040"]}, ' "$1"
  printf '"ram": {"values": [90], "colors": ["%s", "#ff4040"]}}' "$1"
}
style='{"alpha": 70, "font-size": 16, "font-color": "#F0F0F0", "pos": "top-center", '\
'"direction": "hor", "colors": '$(colors "#F0F0F0")'}'
vertical_style='{"alpha": 70, "font-size": 16, "font-color": "#87CEFA", "pos": "right", '\
'"direction": "ver", "colors": '$(colors "#87CEFA")'}'

echo "== the demo game (a window that draws $game_fps frames a second and counts them)"
start_game game --pos 140,100 --size 1000,600 --title "Corvane demo game" --fps "$game_fps" \
  --fps-file "$(winpath "$work/fps.txt")"
echo "   window $game_hwnd, host IPC window $game_ipc, process $game_pid"

echo "== corvane-feed --live: this machine's figures and the game's frame rate, once a second"
start_feed --live --game-id "$game_id" --fps-file "$(winpath "$work/fps.txt")" --ipc "$game_ipc" \
  --style "$style"

wait_for_block || echo "   (corvane-feed has not published yet)"

echo "== Corvane.exe attached to the game window"
start_corvane "vx=$(winpath "$demo/host")" --hwnd "$game_hwnd" --game-id "$game_id"
for _ in $(seq 1 100); do
  game_said game '^msg1004 ' && break
  sleep 0.2
done
echo "   the host window got: $(tr -d '\r' <"$work/game-game.out" | grep -m 1 '^msg1004 ' || echo nothing)"
sleep 4  # two refreshes: the game's frame rate is in
screenshot "$demo/overlay.png"
echo "   screenshot: $demo/overlay.png"

echo "== the same figures in five lines on the right (the style changes while Corvane runs)"
stop_feed
start_feed --live --game-id "$game_id" --fps-file "$(winpath "$work/fps.txt")" --ipc "$game_ipc" \
  --style "$vertical_style"
sleep 3
screenshot "$demo/overlay-vertical.png"
echo "   screenshot: $demo/overlay-vertical.png"

if [ -n "$user_display" ] && [ -t 0 ]; then
  read -r -p "   The overlay is live on $user_display; press Enter to close the game. " _
fi

echo "== the game closes; Corvane follows 5 s later"
tell_game game quit
wait_game game
wait_corvane 20
echo "   Corvane's exit code: $corvane_rc"
stop_feed

log=$(ls "$demo"/host/log/app.corvane.2*.log | head -n 1)
wine "$logcat" --key keys/dev-reader.key "$(winpath "$log")" 2>/dev/null | tr -d '\r' \
  >"$demo/corvane-log.txt"
echo "== the run's log, decoded with the development key (the last records)"
tail -n 12 "$demo/corvane-log.txt"

cat <<TXT

Screenshots:   $demo/overlay.png, $demo/overlay-vertical.png
Decoded log:   $demo/corvane-log.txt (from $log)
Memory log:    $demo/host/log/app.corvane.log (corvane-logcat reads it too)
TXT
