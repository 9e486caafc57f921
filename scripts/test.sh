#!/usr/bin/env bash
# Installs what the tests need, then builds and runs every test: the native build, the same
# unit tests with the address and undefined-behaviour sanitizers, each fuzz target for 20 s,
# and the Windows build with its unit, Win32 and whole-process tests under Wine.
# Ends with a table of its phases: each one's clock time and processor time (also on failure).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then
  sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi

# One line per phase that ran: name, result, clock seconds, processor seconds (user and
# system time of the programs it ran).
phases=$(mktemp)
started=$EPOCHREALTIME

cpu_now=0
read_cpu() {  # sets cpu_now: processor seconds of the children this shell has waited for
  # (in this shell, not in a $(...) subshell, which has children of its own)
  local user sys
  times >"$phases.times"
  read -r user sys < <(tail -n 1 "$phases.times")  # the children's "XmY.YYYs XmY.YYYs"
  cpu_now=$(awk -v u="$user" -v s="$sys" 'function sec(t) { split(t, p, "m"); return p[1] * 60 + p[2] }
    BEGIN { print sec(u) + sec(s) }')
}

since() { awk -v now="$EPOCHREALTIME" -v then="$1" 'BEGIN { print now - then }'; }

phase() {  # phase NAME COMMAND...: runs COMMAND as the phase NAME and records its times
  local name=$1 start=$EPOCHREALTIME cpu rc=0
  shift
  read_cpu
  cpu=$cpu_now
  echo "== $name"
  "$@" || rc=$?
  read_cpu
  printf '%s\t%s\t%s\t%s\n' "$name" "$([ $rc = 0 ] && echo ok || echo "FAILED ($rc)")" \
    "$(since "$start")" "$(awk -v a="$cpu_now" -v b="$cpu" 'BEGIN { print a - b }')" >>"$phases"
  return $rc
}

wine_bed=
finish() {
  local rc=$?
  [ -z "$wine_bed" ] || scripts/winebed.sh down
  echo
  printf '%-34s %-12s %8s %8s\n' phase result "clock s" "cpu s"
  awk -F'\t' '{ printf "%-34s %-12s %8.1f %8.1f\n", $1, $2, $3, $4 }' "$phases"
  printf '%-34s %-12s %8.1f\n' total "$([ $rc = 0 ] && echo ok || echo "FAILED ($rc)")" \
    "$(since "$started")"
  rm -f "$phases" "$phases.times"
}
trap finish EXIT

phase install scripts/install-deps.sh
phase format scripts/check-format.sh

for preset in native sanitize; do
  phase "build: $preset" scripts/build.sh "$preset"
  phase "test: $preset" ctest --preset "$preset"
done

phase "fuzz: build and 20 s per target" scripts/fuzz.sh 20

phase "build: windows" scripts/build.sh windows
wine_bed=up
phase "wine bed: up" scripts/winebed.sh up
phase "test: windows (under Wine)" ctest --preset windows --repeat after-timeout:2
