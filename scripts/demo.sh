#!/usr/bin/env bash
# Installs what is needed, builds the Windows program and runs Corvane under Wine. Without a
# display of your own it runs on a virtual one (Xvfb) and saves a screenshot.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then
  sed -n '2,3p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi

scripts/install-deps.sh
scripts/build.sh windows
scripts/winebed.sh up
trap 'scripts/winebed.sh down' EXIT
eval "$(scripts/winebed.sh env)"

exe=build/windows/bin/Corvane.exe
echo "== Corvane.exe without a game window"
set +e
wine "$exe" --game-id 42 >/dev/null 2>&1
echo "   exit code $? (1: no usable --hwnd)"
echo "== Corvane.exe --hwnd 1A2B --game-id 42"
wine "$exe" --hwnd 1A2B --game-id 42 >/dev/null 2>&1
echo "   exit code $?"
set -e
cat <<'TXT'

This build holds Corvane's start-up, its command line and its crash-report library loading.
The overlay application is not in it yet, so a usable --hwnd still ends with exit code 1.
Once it is, this demo opens a game window, publishes live figures with corvane-feed and shows
the overlay over the game, saving a screenshot to build/demo/overlay.png.
TXT
