# Shared by the whole-overlay tests: real processes under Wine (the demo game, corvane-feed,
# Corvane.exe), screenshots of the virtual display, and checks that count. Source it after
# setting game_exe and keys, and either corvane, feed_exe, inspect_exe and logcat or, after
# sourcing, install_package. Every wait has a bound.
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
"$repo/scripts/winebed.sh" up || exit 1
eval "$("$repo/scripts/winebed.sh" env)"

emulator=wine
# shellcheck source=tests/tools/tool_test_lib.sh
source "$repo/tests/tools/tool_test_lib.sh"  # work, check, finish
# shellcheck source=scripts/overlay_session.sh
source "$repo/scripts/overlay_session.sh"
# CORVANE_E2E_KEEP=1 keeps the scratch folder (logs, screenshots, the programs' output).
trap 'stop_session; if [ -n "${CORVANE_E2E_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi' EXIT

# The overlay's box background (35, 35, 40) and the demo game's plain background.
box_rgb=35,35,40
game_bg=48,48,64
# Where the demo game's client area can be: the tests place it inside this region.
game_region_x=90 game_region_y=70 game_region_w=830 game_region_h=540
game_region=$game_region_x,$game_region_y,$game_region_w,$game_region_h

# install_package <zip> <host folder>: unpacks the release package into the host folder as a
# launcher installs it and takes Corvane.exe and the tools from there, so that a file the package
# lacks fails the test. Sets host, corvane, feed_exe, inspect_exe and logcat.
install_package() {
  host=$2
  mkdir -p "$host"
  if ! unzip -q "$1" -d "$host"; then
    echo "cannot unpack the release package $1" >&2
    exit 1
  fi
  corvane=$host/overlay/Corvane.exe
  feed_exe=$host/tools/corvane-feed.exe
  inspect_exe=$host/tools/corvane-inspect.exe
  logcat=$host/tools/corvane-logcat.exe
  local program missing=""
  for program in "$corvane" "$feed_exe" "$inspect_exe" "$logcat"; do
    [ -f "$program" ] || missing+=" ${program#"$host"/}"
  done
  if [ -n "$missing" ]; then
    echo "the release package lacks$missing" >&2
    exit 1
  fi
}

within() { [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]; }  # within <value> <low> <high>

# wait_for <name> <seconds> <command...>: runs the command until it succeeds, at most that long.
# Runs the command until it succeeds (status 0) or `seconds` have passed (status 1).
poll_until() {
  local seconds=$1
  shift
  local deadline=$(($(now_ms) + seconds * 1000))
  while ! "$@"; do
    [ "$(now_ms)" -ge "$deadline" ] && return 1
    sleep 0.2
  done
  return 0
}

wait_for() {
  local name=$1 seconds=$2
  shift 2
  if poll_until "$seconds" "$@"; then
    check "$name" yes yes
  else
    check "$name" "within ${seconds} s" "not after ${seconds} s"
    return 1
  fi
}

shot() {  # a new screenshot in $work/shot.png
  screenshot "$work/shot.png"
}

probe() {  # probe <box|count> <region> <colour> [tolerance], on the last screenshot
  python3 "$repo/tests/e2e/screen_probe.py" "$1" "$work/shot.png" "$2" "$3" "${4:-6}"
}

# blend <box colour> <background> <alpha 0-255>: what the compositor shows of a premultiplied
# pixel over the background.
blend() {
  local IFS=,
  local -a a=($1) b=($2)
  local alpha=$3 out=() i
  for i in 0 1 2; do
    out+=($(((a[i] * alpha + b[i] * (255 - alpha) + 127) / 255)))
  done
  echo "${out[*]}"
}

colour_near() {  # colour_near <r,g,b> <r,g,b> <tolerance>
  local IFS=,
  local -a a=($1) b=($2)
  local i d
  for i in 0 1 2; do
    d=$((a[i] - b[i]))
    [ "${d#-}" -le "$3" ] || return 1
  done
}

box_colour_for() {  # box_colour_for <alpha percent>: the box's colour over the game
  blend "$box_rgb" "$game_bg" $((($1 * 255 + 50) / 100))
}

# find_box <alpha percent> [region]: sets box_x, box_y, box_w, box_h and box_region from a new
# screenshot (looking only inside the region, by default the game's); fails when there is no
# box.
find_box() {
  shot
  local found
  found=$(probe box "${2:-$game_region}" "$(box_colour_for "$1")")
  [ "$found" != none ] || return 1
  read -r box_x box_y box_w box_h <<<"$found"
  box_region="$box_x,$box_y,$box_w,$box_h"
}

no_box() { ! find_box "${current_alpha:-100}"; }
box_present() { find_box "${current_alpha:-100}"; }
# box_wider_than <width> <region>
box_wider_than() { find_box "${current_alpha:-100}" "$2" && [ "$box_w" -gt "$1" ]; }

# predict: where corvane-inspect, reading the same document for the same game window, says
# the box goes; sets predicted_x and predicted_y.
predict() {
  local json
  json=$(wine "$inspect_exe" --json-file "$(winpath "$doc")" --hwnd "$main_hwnd" \
    --game-id "$game_id" 2>/dev/null | tr -d '\r')
  read -r predicted_x predicted_y < <(python3 -c \
    'import json,sys; p=json.load(sys.stdin)["position"]; print(p["x"], p["y"])' <<<"$json")
}

box_at_prediction() {
  find_box "$current_alpha" && within "$box_x" $((predicted_x - 1)) $((predicted_x + 1)) &&
    within "$box_y" $((predicted_y - 1)) $((predicted_y + 1))
}

# expect_box_at <name> <alpha percent>: the box shows where inspect says for the document as
# it is now, in the colour of that opacity, within 10 s of the document's change.
expect_box_at() {
  current_alpha=$2
  predict
  if ! wait_for "$1" 10 box_at_prediction; then
    echo "     predicted $predicted_x,$predicted_y; found ${box_region:-none}"
  fi
}

corner_colour() {  # the colour two pixels inside the box's top-left corner, as r,g,b
  convert "$work/shot.png" -crop "1x1+$((box_x + 2))+$((box_y + 2))" -depth 8 txt:- |
    grep -o '([0-9]*,[0-9]*,[0-9]*)' | head -n 1 | tr -d '()'
}

decode_text_log() {  # decode_text_log <log dir>: the records of its text log, one a line
  local log
  log=$(ls "$1"/app.corvane.2*.log 2>/dev/null | head -n 1)
  [ -n "$log" ] || return 0
  wine "$logcat" --key "$(winpath "$keys/dev-reader.key")" "$(winpath "$log")" 2>/dev/null |
    tr -d '\r'
}
