#!/usr/bin/env bash
# Configures and builds the given CMake presets (default: native windows).
#   scripts/build.sh [native|sanitize|windows]...
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then
  sed -n '2,3p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native windows)
for preset in "${presets[@]}"; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
