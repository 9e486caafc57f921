#!/usr/bin/env bash
# Installs what the tests need, then builds and runs every test: the native build, the same
# unit tests with the address and undefined-behaviour sanitizers, each fuzz target for 20 s,
# and the Windows build with its unit, Win32 and whole-process tests under Wine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then
  sed -n '2,4p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi

echo "== install"
scripts/install-deps.sh
echo "== format"
scripts/check-format.sh

for preset in native sanitize; do
  scripts/build.sh "$preset"
  echo "== test: $preset"
  ctest --preset "$preset"
done

echo "== fuzz (bounded)"
scripts/fuzz.sh 20

scripts/build.sh windows
echo "== test: windows (under Wine)"
scripts/winebed.sh up
trap 'scripts/winebed.sh down' EXIT
ctest --preset windows --repeat after-timeout:2
