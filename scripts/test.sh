#!/usr/bin/env bash
# Installs what the tests need, then builds and runs every test: the native build, the same
# unit tests with the address and undefined-behaviour sanitizers, each fuzz target for 20 s,
# and the Windows build with its unit, Win32 and whole-process tests under Wine (the sanitizer
# build and tests and the fuzzing run in the background beside those). Ends with a table of its
# phases: each one's clock time and processor time (also when one fails).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then
  sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi

# One line per phase that ran: name, result, clock seconds, processor seconds (user and
# system time of the programs it ran).
phases=$(mktemp)
started=$EPOCHREALTIME
since() { awk -v now="$EPOCHREALTIME" -v then="$1" 'BEGIN { print now - then }'; }

cpu_of_children() {  # processor seconds of the children this shell has waited for so far
  # (read in this shell: a $(...) subshell has children of its own)
  local user sys file=$phases.times.$BASHPID
  times >"$file"
  read -r user sys < <(tail -n 1 "$file")  # the children's "XmY.YYYs XmY.YYYs"
  awk -v u="$user" -v s="$sys" 'function sec(t) { split(t, p, "m"); return p[1] * 60 + p[2] }
    BEGIN { print sec(u) + sec(s) }' >"$file"
}

phase() {  # phase NAME COMMAND...: runs COMMAND as the phase NAME and records its times
  local name=$1 start=$EPOCHREALTIME cpu rc=0 file=$phases.times.$BASHPID
  shift
  echo "== $name"
  if [ -x /usr/bin/time ]; then
    # GNU time counts this command alone, also while other phases run beside it.
    /usr/bin/time -f '%U %S' -o "$file.cpu" "$@" || rc=$?
    cpu=$(tail -n 1 "$file.cpu" | awk '{ print $1 + $2 }')
  else  # before the packages are installed: what this shell's children used meanwhile
    cpu_of_children
    cpu=$(cat "$file")
    "$@" || rc=$?
    cpu_of_children
    cpu=$(awk -v a="$(cat "$file")" -v b="$cpu" 'BEGIN { print a - b }')
  fi
  printf '%s\t%s\t%s\t%s\n' "$name" "$([ $rc = 0 ] && echo ok || echo "FAILED ($rc)")" \
    "$(since "$start")" "$cpu" >>"$phases"
  return $rc
}

wine_bed= lanes=() lane_logs=()
finish() {
  local rc=$? pid
  for pid in "${lanes[@]}"; do wait "$pid" || true; done
  [ -z "$wine_bed" ] || scripts/winebed.sh down
  echo
  printf '%-44s %-12s %8s %8s\n' phase result "clock s" "cpu s"
  awk -F'\t' '{ printf "%-44s %-12s %8.1f %8.1f\n", $1, $2, $3, $4 }' "$phases"
  printf '%-44s %-12s %8.1f\n' total "$([ $rc = 0 ] && echo ok || echo "FAILED ($rc)")" \
    "$(since "$started")"
  rm -f "$phases" "$phases".times.*
}
trap finish EXIT

# Tests that share nothing run side by side on every processor (natively and with the
# sanitizers; each makes its own files, blocks and logs under names of its own). The Wine
# tests share one display and prefix: one at a time.
jobs=$(nproc)
export CMAKE_BUILD_PARALLEL_LEVEL=$jobs  # each build as many compilers as processors, no more

phase install scripts/install-deps.sh
phase format scripts/check-format.sh

# Two lanes run in the background from here on, at a lower priority: the sanitizer build and
# its tests, and the fuzzing. They take the processor time that the main line leaves: the
# builds' single-threaded links and last files, the native tests' slow last few, and above all
# the Wine tests, which mostly wait (for Wine, windows, frames and screenshots) and use about
# half a processor. Their output goes to a log each, shown when they end.
mkdir -p build
lane() {  # lane LOG COMMAND...: runs COMMAND in the background, its output in LOG
  local log=$1
  shift
  "$@" >"$log" 2>&1 &
  lanes+=($!)
  lane_logs+=("$log")
}
sanitize_lane() {
  phase "build: sanitize (beside)" nice -n 10 scripts/build.sh sanitize &&
    phase "test: sanitize (beside)" nice -n 10 ctest --preset sanitize -j "$jobs"
}
lane build/test-sanitize.log sanitize_lane
lane build/test-fuzz.log phase "fuzz: build, 20 s per target (beside)" nice -n 10 scripts/fuzz.sh 20

main_line() {
  phase "build: native" scripts/build.sh native &&
    phase "test: native" ctest --preset native -j "$jobs" &&
    phase "build: windows" scripts/build.sh windows &&
    wine_bed=up &&
    phase "wine bed: up" scripts/winebed.sh up &&
    phase "test: windows (under Wine)" ctest --preset windows --repeat after-timeout:2
}
main_rc=0
main_line || main_rc=$?

lanes_rc=0
for i in "${!lanes[@]}"; do
  wait "${lanes[$i]}" || lanes_rc=$?
  echo "== ${lane_logs[$i]} (ran beside)"
  cat "${lane_logs[$i]}"
done
lanes=()
[ "$main_rc" = 0 ] || exit "$main_rc"
exit "$lanes_rc"
