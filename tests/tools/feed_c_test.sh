#!/usr/bin/env bash
# The host kit as a C host uses it: feed_c_client (built as C) publishes a document of the
# largest size through the shared library, and corvane-inspect reads it back with the overlay's own reader. Also what the
# library exports (the header's functions, nothing else) and, for Windows, that the DLL needs
# no DLL beyond the system's own.
#   feed_c_test.sh CLIENT INSPECT LIBRARY HEADER [EMULATOR]
# Natively the POSIX block outlives the client and is removed at the end; under Wine the block
# goes away with the client's handle, which the test checks too.
set -uo pipefail
[ $# -ge 4 ] || { echo "usage: feed_c_test.sh CLIENT INSPECT LIBRARY HEADER [EMULATOR]" >&2; exit 2; }
client=$1 inspect=$2 library=$3 header=$4 emulator=${5:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/tool_test_lib.sh"
name=corvane-feed-c-test-$$
client_pid=""
trap '[ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null; rm -f "/dev/shm/$name"; rm -rf "$work"' EXIT

# The exports: exactly the functions the header declares.
declared=$(grep -o '^CORVANE_FEED_API [^(]*(' "$header" | grep -o 'corvane_feed_[a-z_]*' | sort)
if [ -n "$emulator" ]; then
  objdump=x86_64-w64-mingw32-objdump
  exported=$($objdump -p "$library" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^\s*\[ *[0-9]*\] //p' | sort)
  imports=$($objdump -p "$library" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  check "the DLL imports only system DLLs" "" \
    "$(echo "$imports" | grep -v -x 'kernel32.dll\|msvcrt.dll\|user32.dll\|advapi32.dll\|ntdll.dll')"
else
  exported=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
fi
check "six functions declared" 6 "$(echo "$declared" | grep -c .)"
check "exports: the declared functions only" "$declared" "$exported"
# The .def that MSVC's import library is made from lists the same functions.
check "the .def lists the declared functions" "$declared" \
  "$(sed -n '/^EXPORTS/,$p' "$(dirname "$header")/corvane_feed.def" | sed -n 's/^ \+\(corvane_feed_[a-z_]*\).*/\1/p' | sort)"

# Game 12345 on C:, as a host publishes it.
cat >"$work/doc.json" <<'DOC'
{"fps": [{"game_id": 12345, "cur": 59.6, "min": 41.0, "max": 60.2}], "cpu": 23.5,
 "memory": {"free": 9216, "total": 16384}, "diskio": [{"name": "C:", "used": 1.2}],
 "ui_style": "{\"alpha\": 80, \"font-color\": \"#00ff80\"}"}
DOC
mkfifo "$work/stdin"
$emulator "$client" "$name" "$(p "$work/doc.json")" 1a2b <"$work/stdin" >"$work/client.out" \
  2>"$work/client.err" &
client_pid=$!
exec 3>"$work/stdin"  # the client holds the block until this ends
wait_for_line "$work/client.out" '^published' "$client_pid"
version=$(sed -n 's/^published \([^\r]*\).*/\1/p' "$work/client.out")
check "client: published, with the library's version" "$CORVANE_PROJECT_VERSION" "$version"

q() { python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); print(json.dumps(eval(sys.argv[2])))' "$work/out" "$1" 2>&1; }
if [ -z "$emulator" ]; then
  check "the block holds the largest document" 4096 \
    "$(od -An -tu4 -j12 -N4 "/dev/shm/$name" | tr -d ' ')"
fi
check "inspect: exit code" 0 "$(run "$inspect" --name "$name" --game-id 12345 --drive C:)"
check "inspect: read, shown, the IPC window" '[true, true, 6699]' \
  "$(q '[d["read"], d["enabled"], d["ipc_wnd"]]')"
check "inspect: rows" '["60", "23.5%", "7.0/16.0GB", "1.2%"]' \
  "$(q '[d["rows"][i]["value"] for i in (0, 2, 3, 4)]')"
check "inspect: style" '[204, 65408]' "$(q '[d["style"]["alpha"], d["style"]["font_color"]]')"

exec 3>&-
wait "$client_pid"
check "client: exit code" 0 "$?"
client_pid=""
check "client: nothing on standard error" "" "$(sed '/diskperf/d' "$work/client.err")"
if [ -n "$emulator" ]; then
  check "after close: no block" 1 "$(run "$inspect" --name "$name")"
fi
finish
