#!/usr/bin/env bash
# The overlay's font at 96, 120 and 144 DPI: size 14 must become 14, 18 and 21 pixels, at the
# DPI of the monitor that holds the game window (MonitorFromWindow and GetDpiForMonitor), or the
# screen's where those cannot be had; the probe says which, and the two must agree here, where
# there is one monitor.
# corvane-inspect, per-monitor DPI aware by its manifest, reports the same DPI.
#   font_dpi_test.sh PROBE.exe BED_DIR INSPECT.exe
# The DPI is Wine's LogPixels setting, read when a program starts. It runs in a test bed of
# its own (BED_DIR), so the shared bed of the other tests keeps 96 DPI whatever happens here.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: font_dpi_test.sh PROBE.exe BED_DIR INSPECT.exe" >&2; exit 2; }
probe=$1
inspect=$3
export CORVANE_WINEBED=$2
scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)

trap '"$scripts/winebed.sh" down' EXIT
"$scripts/winebed.sh" up
eval "$("$scripts/winebed.sh" env)"

failures=0
doc_file=$(mktemp --suffix=.json)
trap 'rm -f "$doc_file"; "$scripts/winebed.sh" down' EXIT
printf '%s' '{"cpu": 12.5}' >"$doc_file"
doc="Z:${doc_file//\//\\}"
for case in 96:14 120:18 144:21; do
  dpi=${case%:*}
  px=${case#*:}
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  got=$(timeout 60 wine "$probe" | tr -d '\r') || true
  # Either way of reading it is right; which one ran is printed.
  from=$(echo "$got" | grep -o 'from=[a-z]*' || true)
  want="dpi=$dpi $from screen=$dpi font_px=$px font_size=$px.0"
  if [ -n "$from" ] && [ "$got" = "$want" ]; then
    echo "ok: $got"
  else
    echo "FAIL at $dpi DPI: got '$got', want '$want'"
    failures=$((failures + 1))
  fi
  reported=$(timeout 60 wine "$inspect" --json-file "$doc" 2>/dev/null | tr -d '\r' |
    /usr/bin/python3 -c 'import json, sys; d = json.load(sys.stdin); print(d["dpi"], d["dpi_from"])' ||
    true)
  if [ "$reported" = "$dpi the screen" ]; then
    echo "ok: corvane-inspect reports $reported"
  else
    echo "FAIL at $dpi DPI: corvane-inspect reports '$reported'"
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ]
