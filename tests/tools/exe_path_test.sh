#!/usr/bin/env bash
# A program installed under a directory with non-ASCII characters finds its own path and keeps
# its default log directory beside it (the executable's directory and "log"), not the current
# directory.
#   exe_path_test.sh <exe_path_probe> [emulator]
set -uo pipefail
probe=$1 emulator=${2:-}

source "$(dirname "${BASH_SOURCE[0]}")/tool_test_lib.sh"

install_dir="$work/d$(printf '\xc3\xa9')$(printf '\xe4\xb8\xad')"
mkdir -p "$install_dir" "$work/elsewhere"
cp "$probe" "$install_dir/"
installed="$install_dir/$(basename "$probe")"

check "the probe runs" 0 "$(cd "$work/elsewhere" && run "$installed")"
if [ -z "$emulator" ]; then
  check "its own path, as UTF-8" "$installed" "$(sed -n 1p "$work/out")"
  check "the default log directory beside it" "$install_dir\\log\\" "$(sed -n 2p "$work/out")"
fi
check "the log is in that directory" 1 "$(grep -c 'probe record' "$install_dir/log/app.probe.log" 2>/dev/null)"
check "nothing in the current directory" "" "$(ls -A "$work/elsewhere")"

finish
