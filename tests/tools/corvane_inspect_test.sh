#!/usr/bin/env bash
# corvane-inspect for real: natively over a block that corvane-feed publishes (header values,
# rows, placement, a missing block), and on both systems over document files, with a given
# box, bad options (exit code 2) and, under Wine, the box measured and painted with GDI+ into
# a PNG file of the painted size, with a frame-time graph when the document has frame times.
#   corvane_inspect_test.sh INSPECT FEED [EMULATOR]    (FEED may be empty under an emulator)
set -uo pipefail
inspect=$1 feed=$2 emulator=${3:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/tool_test_lib.sh"
name=corvane-inspect-test-$$
trap 'rm -rf "$work"; [ -n "$feed" ] && "$feed" --remove --name "$name" 2>/dev/null' EXIT

# q EXPR: EXPR over the printed object `d`, as JSON text.
q() { python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); print(json.dumps(eval(sys.argv[2])))' "$work/out" "$1" 2>&1; }
stderr_lines() { grep -c . "$work/err"; }

# Game 12345 on C:, five lines at the bottom right.
cat >"$work/doc.json" <<'DOC'
{"fps": [{"game_id": 12345, "cur": 59.6, "min": 41.0, "max": 60.2}], "cpu": 23.5,
 "gpu": [{"name": "Radeon RX 6600", "gpu": 41.0, "gpu_mem_used": 2147483648,
          "gpu_mem_total": 8589934592}],
 "memory": {"free": 9216, "total": 16384},
 "diskio": [{"name": "_Total", "used": 3.5}, {"name": "C:", "used": 1.2}],
 "ui_style": "{\"alpha\": 80, \"font-size\": 16, \"pos\": \"bottom-right\", \"direction\": \"ver\", \"font-color\": \"#00ff80\"}"}
DOC
echo '{"cpu": "busy"}' >"$work/bad.json"
doc=$(p "$work/doc.json")

# A document file: what the overlay of game 12345 on C: makes of it; no header to show.
check "file: exit code" 0 "$(run "$inspect" --json-file "$doc" --game-id 12345 --drive C:)"
check "file: read" true "$(q 'd["read"]')"
check "file: no header" "[null, null]" "$(q '[d["enabled"], d["ipc_wnd"]]')"
check "file: rows" '["60", "41.0% 2.0/8.0GB", "23.5%", "7.0/16.0GB", "1.2%"]' \
  "$(q '[r["value"] for r in d["rows"]]')"
check "file: style" '[204, 16, 65408, "bottom-right", "ver"]' \
  "$(q '[d["style"][k] for k in ("alpha", "font_size", "font_color", "pos", "direction")]')"
check "file: segments" '[14, "\n", 8453888]' \
  "$(q '[len(d["segments"]), d["segments"][2]["text"], d["segments"][0]["color"]]')"
check "file: bottom-right of the estimate" true \
  "$(q 'd["position"] == {"x": 1920 - d["box"]["width"] - 19, "y": 1080 - d["box"]["height"] - 10}')"
check "file: five lines high" true "$(q 'd["box"]["height"] >= 5 * (16 + 4) + 8')"

# A given box, placed in a given client area (margins 8 and 6).
check "box: exit code" 0 "$(run "$inspect" --json-file "$doc" --box 300,40)"
check "box: full HD" '[1601, 1030, "--box"]' \
  "$(q '[d["position"]["x"], d["position"]["y"], d["box"]["measured_by"]]')"
run "$inspect" --json-file "$doc" --box 300,40 --rect 100,50,800,600 >/dev/null
check "box: client area" '[592, 604]' "$(q '[d["position"]["x"], d["position"]["y"]]')"

# A document the parser stops on, and a file that is not there: exit code 1, and the frame
# of a new overlay is still shown.
check "bad file: exit code" 1 "$(run "$inspect" --json-file "$(p "$work/bad.json")")"
check "bad file: read" false "$(q 'd["read"]')"
check "bad file: rows as new" '"0.0%"' "$(q 'd["rows"][2]["value"]')"
check "bad file: one line" 1 "$(stderr_lines)"
check "missing file: exit code" 1 "$(run "$inspect" --json-file "$(p "$work/none.json")")"
check "missing file: says so" 1 "$(grep -c 'corvane-inspect: cannot read' "$work/err")"
# A folder, or (natively) a device that never ends and a pipe with no writer, where the document
# goes: one line that says so, at once, and exit code 1; a document longer than the block holds
# is refused as the overlay refuses it.
mkdir "$work/folder.json"
check "folder: exit code" 1 "$(run "$inspect" --json-file "$(p "$work/folder.json")")"
check "folder: says so" "corvane-inspect: cannot read $(p "$work/folder.json"): it is a directory" "$(cat "$work/err")"
head -c 5000 /dev/zero | tr '\0' ' ' >"$work/long.json"
check "long file: exit code" 1 "$(run "$inspect" --json-file "$(p "$work/long.json")")"
check "long file: says so" "corvane-inspect: $(p "$work/long.json") has 5000 bytes; the block takes at most 4096" "$(cat "$work/err")"
if [ -z "$emulator" ]; then
  mkfifo "$work/pipe.json"
  for input in /dev/zero "$work/pipe.json"; do
    check "$input: exit code" 1 "$(run timeout 10 "$inspect" --json-file "$input")"
    check "$input: says so" "corvane-inspect: cannot read $input: it is not a regular file (a device, a pipe or a socket)" "$(cat "$work/err")"
  done
fi

# Bad options: exit code 2, one line on standard error, nothing on standard output.
for args in "--bogus" "--rect 1,2,3" "--game-id x" "--box 300" "--dpi 0"; do
  # shellcheck disable=SC2086
  check "usage $args: exit code" 2 "$(run "$inspect" $args)"
  check "usage $args: one line" 1 "$(stderr_lines)"
  check "usage $args: no output" 0 "$(wc -c <"$work/out")"
done
check "help: exit code" 0 "$(run "$inspect" --help)"
check "help: options" 1 "$(grep -c -- '--json-file PATH' "$work/out")"
check "version: exit code" 0 "$(run "$inspect" --version)"
check "version: the program and its version" 1 \
  "$(grep -cE '^corvane-inspect [0-9]+(\.[0-9]+)+\s*$' "$work/out")"

if [ -z "$emulator" ]; then
  # The block as corvane-feed publishes it.
  "$feed" --once --name "$name" --json-file "$work/doc.json" --ipc 1a2b ||
    check "feed published" 0 $?
  check "block: exit code" 0 "$(run "$inspect" --name "$name" --game-id 12345 --drive C:)"
  check "block: read and header" '[true, true, 6699]' "$(q '[d["read"], d["enabled"], d["ipc_wnd"]]')"
  check "block: rows" '["60", "1.2%"]' "$(q '[d["rows"][0]["value"], d["rows"][4]["value"]]')"
  check "block: measured" '"approximation: 0.55 em per unit, 1.32 em lines"' \
    "$(q 'd["box"]["measured_by"]')"
  check "block: dpi and font" '[96, "the reference 96", 16, 16]' \
    "$(q '[d["dpi"], d["dpi_from"], d["font_px"], d["pixel_size"]]')"
  run "$inspect" --name "$name" --game-id 1 >/dev/null
  check "block: another game" '["--", "3.5%"]' "$(q '[d["rows"][0]["value"], d["rows"][4]["value"]]')"
  "$feed" --once --name "$name" --json-file "$work/doc.json" --show 0
  run "$inspect" --name "$name" --dpi 144 >/dev/null
  check "block: hidden" '[true, false, 0, 24, "--dpi"]' \
    "$(q '[d["read"], d["enabled"], d["ipc_wnd"], d["pixel_size"], d["dpi_from"]]')"
  check "block: --box" '[1601, 1030]' \
    "$(run "$inspect" --name "$name" --box 300,40 >/dev/null; q '[d["position"]["x"], d["position"]["y"]]')"

  check "no block: exit code" 1 "$(run "$inspect" --name "$name-missing")"
  check "no block: as a new overlay" '[false, false, 0, "--"]' \
    "$(q '[d["read"], d["enabled"], d["ipc_wnd"], d["rows"][0]["value"]]')"
  check "no block: says so" 1 "$(grep -c "there is no block named $name-missing" "$work/err")"

  check "--hwnd natively: exit code" 2 "$(run "$inspect" --hwnd 1A2B)"
  check "--hwnd natively: says so" 1 "$(grep -c 'only on Windows' "$work/err")"
else
  # GDI+ under Wine: the overlay's estimate, and its painter into a PNG of the painted size.
  png="$work/box.png"
  check "png: exit code" 0 "$(run "$inspect" --json-file "$doc" --game-id 12345 --dpi 96 --png "$(p "$png")")"
  check "png: measured by GDI+" '"GDI+"' "$(q 'd["box"]["measured_by"]')"
  check "png: font found" true "$(q 'd["png"]["font_found"]')"
  size=$(python3 -c 'import struct, sys; b = open(sys.argv[1], "rb").read(24); print(b[:8] == b"\x89PNG\r\n\x1a\n", *struct.unpack(">II", b[16:24]))' "$png" 2>&1)
  check "png: a PNG of the painted size" "True $(q 'd["png"]["width"]') $(q 'd["png"]["height"]')" "$size"
  # The estimate and the painter measure the runs alike; only their least line height differs.
  check "png: as wide as the estimate" true "$(q 'd["png"]["width"] == d["box"]["width"] > 16')"
  check "png: not higher than the estimate" true "$(q '5 * 18 + 8 <= d["png"]["height"] <= d["box"]["height"]')"
  # With frame times: the graph under the five lines, drawn in the text's colour.
  sed 's/"max": 60.2}/"max": 60.2, "low1": 41, "frame_ms": [16.6, 16.8, 33.4, 16.7]}/' \
    "$work/doc.json" >"$work/pacing.json"
  plain_height=$(q 'd["png"]["height"]')
  check "png with a graph: exit code" 0 \
    "$(run "$inspect" --json-file "$(p "$work/pacing.json")" --game-id 12345 --dpi 96 --png "$(p "$png")")"
  check "png with a graph: the lows in the FPS row" '"60 1% 41"' "$(q 'd["rows"][0]["value"]')"
  check "png with a graph: 2.5 em high, under the text after a quarter em" "[40, $((plain_height + 4 + 40))]" \
    "$(q '[d["graph"]["area"]["height"], d["png"]["height"]]')"
  width=$(q 'd["png"]["width"]')
  check "png with a graph: its label" '"40 ms"' "$(q 'd["graph"]["label"]')"
  # The label in the graph's top-left corner (12 px at 16 px text), in the text's colour; the
  # bars right of it: faint bodies (the text's colour at 0x60 over the box at 80%) about half
  # the graph high, under a line of the text's colour along their tops.
  probe() { python3 "$here/../e2e/screen_probe.py" count "$png" "$@"; }
  graph_y=$plain_height  # the gap under the text takes the place of its bottom margin
  label=$(probe "8,$graph_y,36,14" 0,255,128 60)
  check "png with a graph: the label's glyphs in the text's colour ($label pixels)" yes \
    "$([ "$label" -ge 15 ] && echo yes)"
  bars_x=60 bars_w=$((width - 8 - 60))
  line=$(probe "$bars_x,$graph_y,$bars_w,40" 0,255,128 40)
  check "png with a graph: a line along the bars' tops, not a slab ($line pixels)" yes \
    "$([ "$line" -ge "$bars_w" ] && [ "$line" -le $((bars_w * 4)) ] && echo yes)"
  bodies=$(probe "$bars_x,$graph_y,$bars_w,40" 20,130,78 16)
  check "png with a graph: faint bodies fill about half the graph ($bodies pixels)" yes \
    "$([ "$bodies" -ge $((bars_w * 12)) ] && [ "$bodies" -le $((bars_w * 26)) ] && echo yes)"
  # A target of 10 ms: the scale is 20 ms, and a grey line marks the target half-way up.
  sed 's/"low1": 41,/"low1": 41, "target_ms": 10,/' "$work/pacing.json" >"$work/target.json"
  run "$inspect" --json-file "$(p "$work/target.json")" --game-id 12345 --dpi 96 --png "$(p "$png")" >/dev/null
  check "png with a target: scale, label and target" '[20.0, "20 ms", 10.0]' \
    "$(q '[d["graph"]["scale_ms"], d["graph"]["label"], d["graph"]["target_ms"]]')"
  target=$(probe "$bars_x,$((graph_y + 19)),$bars_w,3" 128,128,128 12)
  check "png with a target: the grey line across the bars ($target pixels)" yes \
    "$([ "$target" -ge $((bars_w / 2)) ] && echo yes)"
  # Colour thresholds: the CPU's 23.5% above 10 in red, the frame rate of 60 below 100 in
  # yellow; without them, neither colour anywhere.
  red=255,64,64 yellow=255,208,64
  python3 - "$work/doc.json" "$work/colours.json" <<'COLOURS'
import json, sys
document = json.load(open(sys.argv[1]))
style = json.loads(document["ui_style"])
style["colors"] = {"cpu": {"values": [10], "colors": ["#ffffff", "#ff4040"]},
                   "fps": {"values": [100], "colors": ["#ffd040", "#ffffff"]}}
document["ui_style"] = json.dumps(style)
json.dump(document, open(sys.argv[2], "w"))
COLOURS
  check "png with colours: exit code" 0 \
    "$(run "$inspect" --json-file "$(p "$work/colours.json")" --game-id 12345 --dpi 96 --png "$(p "$png")")"
  check "png with colours: the figures' runs" '[[4247807, "60"], [4210943, "23.5%"]]' \
    "$(q '[[s["color"], s["text"]] for s in d["segments"] if s["text"] in ("60", "23.5%")]')"
  check "png with colours: the CPU's figure in red, the frame rate in yellow" yes \
    "$([ "$(probe "0,0,$width,$plain_height" $red 40)" -ge 20 ] &&
       [ "$(probe "0,0,$width,$plain_height" $yellow 40)" -ge 15 ] && echo yes)"
  run "$inspect" --json-file "$doc" --game-id 12345 --dpi 96 --png "$(p "$png")" >/dev/null
  check "png without colours: neither colour" "0 0" \
    "$(probe "0,0,$width,$plain_height" $red 40) $(probe "0,0,$width,$plain_height" $yellow 40)"

  check "no block: exit code" 1 "$(run "$inspect" --name "$name-missing")"
  check "no block: read" '[false, false, "GDI+"]' "$(q '[d["read"], d["enabled"], d["box"]["measured_by"]]')"
  check "no game window: the screen's DPI" '"the screen"' "$(q 'd["dpi_from"]')"
  check "not a window: exit code" 1 "$(run "$inspect" --hwnd 1)"
  check "not a window: says so" 1 "$(grep -c 'is not a window' "$work/err")"
fi

finish
