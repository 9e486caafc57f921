#!/usr/bin/env bash
# Runs a Windows program in the Wine test bed (starting the bed if it is not up) and exits
# with the program's exit code. CMake uses it as the emulator of the Windows build.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$here/winebed.sh" up
eval "$("$here/winebed.sh" env)"
exec wine "$@"
