#!/usr/bin/env bash
# What Corvane costs beside a game, under Wine on the virtual display: its CPU share of one core
# and its memory while the demo game is in front, and the demo game's frame rate with Corvane
# attached against the same game without it, measured in one run.
#   bench/overlay_cost.sh [SECONDS]     (the measured span with Corvane, default 60)
# Prints figures only; nothing is asserted. Needs the Windows build (scripts/build.sh windows).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then
  sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
seconds=${1:-60}
without_seconds=$(((seconds + 1) / 2))

scripts/winebed.sh up
eval "$(scripts/winebed.sh env)"
bin=build/windows/bin
corvane=$bin/Corvane.exe game_exe=$bin/corvane-demo-game.exe feed_exe=$bin/corvane-feed.exe
inspect_exe=$bin/corvane-inspect.exe
work=$(mktemp -d)
source scripts/overlay_session.sh
trap 'stop_session; rm -rf "$work"' EXIT

ticks_per_second=$(getconf CLK_TCK)
cpu_ticks() {  # user + system time of a process, in clock ticks
  awk '{print $14 + $15}' "/proc/$1/stat"
}
server_pid() { pgrep -n -x wineserver || pgrep -n wineserver; }
# mean_fps <seconds>: the game's mean frame rate over that span, from its fps file.
mean_fps() {
  local sum=0 n=0 value
  for _ in $(seq 1 "$1"); do
    sleep 1
    value=$(tr -d '\r\n ' <"$work/fps.txt" 2>/dev/null || true)
    [ -n "$value" ] || continue
    sum=$(awk -v s="$sum" -v v="$value" 'BEGIN{print s + v}')
    n=$((n + 1))
  done
  awk -v s="$sum" -v n="$n" 'BEGIN{printf "%.1f", n ? s / n : 0}'
}

start_game game --pos 60,60 --size 1000,600 --title "Corvane demo game" \
  --fps-file "$(winpath "$work/fps.txt")"
start_feed --live --game-id 42 --fps-file "$(winpath "$work/fps.txt")" --ipc "$game_ipc" \
  --style '{"alpha": 70, "font-size": 16, "pos": "top-center"}'
wait_for_block
sleep 2

echo "== the demo game alone, ${without_seconds} s"
server=$(server_pid)
server_before=$(cpu_ticks "$server")
alone_started=$(now_ms)
fps_alone_1=$(mean_fps "$without_seconds")
server_alone_ms=$((($(cpu_ticks "$server") - server_before) * 1000 / ticks_per_second))
alone_elapsed_ms=$(($(now_ms) - alone_started))
echo "   mean frame rate: $fps_alone_1"

echo "== with Corvane attached, ${seconds} s (after 5 s to settle)"
start_corvane "vx=$(winpath "$work")" --hwnd "$game_hwnd" --game-id 42
sleep 5
ticks_before=$(cpu_ticks "$corvane_pid")
server_before=$(cpu_ticks "$server")
started=$(now_ms)
fps_with=$(mean_fps "$seconds")
elapsed_ms=$(($(now_ms) - started))
ticks_after=$(cpu_ticks "$corvane_pid")
server_with_ms=$((($(cpu_ticks "$server") - server_before) * 1000 / ticks_per_second))
rss_kb=$(awk '/^VmRSS/ {print $2}' "/proc/$corvane_pid/status")
private_kb=$(awk '/^Private_(Clean|Dirty)/ {s += $2} END {print s}' "/proc/$corvane_pid/smaps_rollup")
# The mappings that hold the most private memory, by file (anonymous memory as "[anon]").
largest_private=$(awk '
  /^[0-9a-f]+-[0-9a-f]+ / { name = (NF >= 6) ? $6 : "[anon]"; sub(".*/", "", name) }
  /^Private_(Clean|Dirty):/ { kb[name] += $2 }
  END { for (n in kb) if (kb[n] >= 256) printf "%8d kB  %s\n", kb[n], n }
' "/proc/$corvane_pid/smaps" | sort -rn | head -n 8)
cpu_ms=$(((ticks_after - ticks_before) * 1000 / ticks_per_second))
kill -9 "$corvane_pid" 2>/dev/null || true
wait "$corvane_pid" 2>/dev/null || true
echo "   mean frame rate: $fps_with"

echo "== the demo game alone again, ${without_seconds} s"
fps_alone_2=$(mean_fps "$without_seconds")
echo "   mean frame rate: $fps_alone_2"

fps_alone=$(awk -v a="$fps_alone_1" -v b="$fps_alone_2" 'BEGIN{printf "%.1f", (a + b) / 2}')
cat <<TXT

Corvane under Wine, the demo game in front (the overlay drawn every 8 ms):
  CPU time        $cpu_ms ms in $elapsed_ms ms: $(awk -v c="$cpu_ms" -v e="$elapsed_ms" 'BEGIN{printf "%.2f", 100 * c / e}')% of one core (goal: under 0.5%)
  memory          private resident $((private_kb / 1024)).$(((private_kb % 1024) * 10 / 1024)) MB, resident in all $((rss_kb / 1024)) MB (goal: under 10 MB private)
  largest private mappings:
$(echo "$largest_private" | sed 's/^/  /')
The demo game's frame rate:
  alone           $fps_alone (mean of $fps_alone_1 before and $fps_alone_2 after)
  with Corvane    $fps_with
  ratio           $(awk -v w="$fps_with" -v a="$fps_alone" 'BEGIN{printf "%.3f", a ? w / a : 0}') (goal: at least 0.99)
Wine's server (wineserver) answers most of the window calls of every frame; its work is
not in Corvane's CPU time. Its share of one core, for the game and everything else:
  game alone      $(awk -v c="$server_alone_ms" -v e="$alone_elapsed_ms" 'BEGIN{printf "%.2f", 100 * c / e}')%
  with Corvane    $(awk -v c="$server_with_ms" -v e="$elapsed_ms" 'BEGIN{printf "%.2f", 100 * c / e}')%
bench/frame_bench shows the overlay's own code per frame natively; the rest of a frame is the
window calls and the 8 ms sleep under Wine.
TXT
