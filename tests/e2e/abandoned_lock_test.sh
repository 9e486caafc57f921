#!/usr/bin/env bash
# An abandoned lock word under Wine, with real processes killed while they hold it.
#  (b) A reader (test_block_probe, which takes the word as the overlay does) killed while it
#      holds the word stops corvane-feed for no more than about 2 s: corvane-feed takes the
#      word over, says so, and publishes on; a second probe times the publications.
#  (a) corvane-feed killed while it holds the word (--test-hold-lock), with Corvane.exe over the
#      demo game: a new corvane-feed takes the word over after about 2 s, says so, and the
#      overlay shows its figures within 4 s of that.
#   abandoned_lock_test.sh <Corvane.exe> <corvane-demo-game.exe> <corvane-feed.exe>
#                          <corvane-inspect.exe> <corvane-logcat.exe> <keys dir>
#                          <test_block_probe.exe>
set -uo pipefail
corvane=$1 game_exe=$2 feed_exe=$3 inspect_exe=$4 logcat=$5 keys=$6 probe_exe=$7
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/e2e/overlay_e2e_lib.sh
source "$here/overlay_e2e_lib.sh"

# The overlay's side while the word is held: its figures marked stale, every row showing its
# fallback, one record when they go stale and one when they are live again.
# CORVANE_E2E_STALE_CHECKS=0 leaves those checks out.
stale_checks=${CORVANE_E2E_STALE_CHECKS:-1}
stale_record='Figures stale, showing the fallbacks: '
live_record='Figures live again'

# has_line <file> <regex>: the file has a line that matches.
has_line() { tr -d '\r' <"$1" 2>/dev/null | grep -q -- "$2"; }

# --- (b) a reader killed while it holds the word ---------------------------------------------
block=corvane-lock-test-$$
wine "$feed_exe" --name "$block" --json '{"cpu": 1}' --interval 100 \
  >"$work/feed-b.out" 2>"$work/feed-b.err" &
background_pids+=($!)
block_exists() { wine "$probe_exe" watch 1 "$block" >/dev/null 2>&1; }
wait_for "(b) corvane-feed made the block" 30 block_exists

watch_ms=9000
wine "$probe_exe" watch $watch_ms "$block" >"$work/watch.out" 2>&1 &
watcher=$!
background_pids+=("$watcher")
sleep 2
wine "$probe_exe" hold "$block" >"$work/hold.out" 2>&1 &
holder=$!
background_pids+=("$holder")
wait_for "(b) the probe holds the word as the overlay takes it" 20 has_line "$work/hold.out" '^held$'
kill -9 "$holder"  # ends the Windows process at once, as TerminateProcess does
wait "$holder" 2>/dev/null
wait "$watcher"

publications=$(tr -d '\r' <"$work/watch.out" | grep -c '^published ')
# The longest span without a publication, up to the watch's end.
longest_gap=$(tr -d '\r' <"$work/watch.out" | awk -v end=$watch_ms '/^published / {
    if (seen && $2 - last > gap) { gap = $2 - last; after = NR }
    last = $2; seen = 1 }
  END { if (end - last > gap) { gap = end - last; after = NR + 1 }; print gap + 0, after + 0 }')
read -r gap gap_line <<<"$longest_gap"
echo "     ($publications publications in $watch_ms ms; the longest gap $gap ms)"
check "(b) the longest gap between publications is under 4 s" yes \
  "$([ "$gap" -lt 4000 ] && echo yes)"
check "(b) corvane-feed published on after the takeover" yes \
  "$([ "$(tr -d '\r' <"$work/watch.out" | tail -n +"${gap_line:-1}" | grep -c '^published ')" -ge 5 ] && echo yes)"
takeover_b=$(tr -d '\r' <"$work/feed-b.err" | grep 'took over the block' || true)
echo "     (${takeover_b:-no takeover line})"
check "(b) corvane-feed said once that it took over the reader's word" 1 \
  "$(grep -c "^corvane-feed: took over the block's lock word, which had held 1 without a break for [0-9]* ms" <<<"$takeover_b")"
check "(b) and nothing else on standard error" "" \
  "$(tr -d '\r' <"$work/feed-b.err" | grep -v 'took over the block' | sed '/diskperf/d')"

# --- (a) corvane-feed killed while it holds the word, with the overlay attached --------------
game_id=4242
host="$work/host"
mkdir -p "$host"
doc="$work/figures.json"
# write_doc <file> <cpu> [memory total]: the document, in the style the checks look for.
write_doc() {
  printf '{"fps": [{"game_id": %s, "cur": 59.6}], "cpu": %s, "memory": {"free": 8000, "total": %s}, "diskio": [{"name": "_Total", "used": 3.5}], "ui_style": "{\\"alpha\\": 100, \\"font-size\\": 14, \\"pos\\": \\"top-center\\"}"}' \
    "$game_id" "$2" "${3:-16243}" >"$1.new"
  mv "$1.new" "$1"
}
# Every row at its fallback text: no frame rate, GPU or disk entry, a CPU figure too long for
# its row and no memory total.
fallback_doc="$work/fallbacks.json"
printf '{"cpu": 1e300, "memory": {"free": 0, "total": 0}, "ui_style": "{\\"alpha\\": 100, \\"font-size\\": 14, \\"pos\\": \\"top-center\\"}"}' \
  >"$fallback_doc"

# expect_box_for <name> <document> <seconds>: the box shows where corvane-inspect says it goes
# for that document, within that time.
expect_box_for() {
  local live_doc=$doc
  doc=$2
  current_alpha=100
  predict
  doc=$live_doc
  if ! wait_for "$1" "$3" box_at_prediction; then
    echo "     predicted $predicted_x,$predicted_y; found ${box_region:-none}"
  fi
}

# The overlay with its figures marked stale: every row's fallback on the screen.
check_stale_box() {
  expect_box_for "(a) the overlay shows the fallbacks within 4 s of the kill" "$fallback_doc" 4
}

# The records of the stale span: one as the figures went stale, one as they came back.
check_stale_records() {
  check "(a) log: one record that the figures went stale" 1 "$(grep -c "$stale_record" <<<"$1")"
  check "(a) log: one record that they are live again" 1 "$(grep -c "$live_record" <<<"$1")"
}

start_game main --pos 100,80 --size 800,500 --title "Corvane demo game"
write_doc "$doc" 1.5
start_feed --json-file "$(winpath "$doc")" --interval 250 --ipc "$main_ipc"
check "(a) corvane-feed published the block" 0 "$(wait_for_block; echo $?)"
start_corvane "vx=$(winpath "$host")" --hwnd "$main_hwnd" --game-id "$game_id"
expect_box_for "(a) the overlay shows the figures" "$doc" 30

# A corvane-feed that holds the word is killed; the block stays, as the overlay has it open.
stop_feed
wine "$feed_exe" --json-file "$(winpath "$doc")" --ipc "$main_ipc" --test-hold-lock \
  >"$work/holder.out" 2>"$work/holder.err" &
holder=$!
background_pids+=("$holder")
wait_for "(a) corvane-feed --test-hold-lock holds the word" 20 \
  has_line "$work/holder.out" "holding the block's lock word"
kill -9 "$holder"
wait "$holder" 2>/dev/null
if [ "$stale_checks" = 1 ]; then check_stale_box; fi

# A new corvane-feed with other figures (a CPU figure that widens the box) takes the word over
# from the killed one's value: the writer bit (so 19 decimal digits), its process id and number.
write_doc "$doc" 88888888.8
started_at=$(now_ms)
start_feed --json-file "$(winpath "$doc")" --interval 250 --ipc "$main_ipc"
wait_for "(a) the new corvane-feed says that it took the word over" 15 \
  has_line "$work/feed.err" "^corvane-feed: took over the block's lock word, which had held [0-9]\{19\} "
took_over_after=$(($(now_ms) - started_at))
echo "     (the takeover was said $took_over_after ms after the new corvane-feed started:" \
  "$(tr -d '\r' <"$work/feed.err" | grep -o 'for [0-9]* ms' | head -n 1))"
expect_box_for "(a) the live figures come back within 4 s of the takeover" "$doc" 4
check "(a) the new corvane-feed said it once and nothing else" 1 \
  "$(tr -d '\r' <"$work/feed.err" | sed '/diskperf/d' | wc -l)"

tell_game main quit
check "(a) the demo game ends on quit" 0 "$(wait_game main; echo $?)"
wait_corvane 20
check "(a) Corvane ends with exit code 0 once the game has gone" 0 "$corvane_rc"
if [ "$stale_checks" = 1 ]; then check_stale_records "$(decode_text_log "$host/log")"; fi

finish
