#!/usr/bin/env bash
# Where Corvane's private memory goes under Wine: runs startup_memory_bench.exe, which takes the
# steps of the overlay's start one by one, and prints the process's private resident memory
# after each step and what the step added. Needs the Windows build.
#   bench/startup_memory.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then
  sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
scripts/winebed.sh up
eval "$(scripts/winebed.sh env)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

private_kb() {
  awk '/^Private_(Clean|Dirty):/ {s += $2} END {print s}' "/proc/$1/smaps_rollup"
}

coproc bench { exec wine build/windows/bench/startup_memory_bench.exe "Z:${work//\//\\}" 2>/dev/null; }
pid=$bench_PID
last=""
while IFS= read -r step <&"${bench[0]}"; do
  step=${step%$'\r'}
  now=$(private_kb "$pid")
  printf '%-44s %7d kB private  (%+d kB)\n' "$step" "$now" "$((now - ${last:-$now}))"
  last=$now
  echo >&"${bench[1]}"
done
