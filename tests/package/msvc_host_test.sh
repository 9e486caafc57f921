#!/usr/bin/env bash
# The package's kit as a launcher built with MSVC uses it: a C host compiled for the MSVC ABI
# (clang --target=x86_64-pc-windows-msvc) and linked by lld-link against kit/lib/corvane_feed.lib
# publishes through kit/bin/corvane_feed.dll under Wine, and the package's corvane-inspect reads
# the document back. Debian has no MSVC runtime or Windows SDK, so the host needs neither: it
# has its own entry point and a kernel32 import library made here from the functions it calls.
#   msvc_host_test.sh <package dir> <package name> <version> <emulator>
set -uo pipefail
package_dir=$1 name=$2 version=$3 emulator=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/tools/tool_test_lib.sh
source "$here/../tools/tool_test_lib.sh"  # work, check, run, p, finish
host_pid=""
trap '[ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null; rm -rf "$work"' EXIT
for tool in clang lld-link llvm-dlltool; do
  command -v "$tool" >/dev/null || { echo "FAIL $tool is missing (scripts/install-deps.sh)"; exit 1; }
done

unpacked=$work/host
unzip -q "$package_dir/$name.zip" -d "$unpacked"
kit=$unpacked/kit
printf '%s\n' "LIBRARY kernel32.dll" EXPORTS GetStdHandle WriteFile ReadFile \
  GetEnvironmentVariableA ExitProcess >"$work/kernel32.def"
llvm-dlltool -m i386:x86-64 -d "$work/kernel32.def" -l "$work/kernel32.lib" 2>"$work/err"
check "kernel32.lib made" 0 "$?"
clang --target=x86_64-pc-windows-msvc -O1 -Wall -Wextra -Werror -I "$kit/include" \
  -c "$here/msvc_host.c" -o "$work/msvc_host.obj" 2>"$work/err"
check "the host compiles for the MSVC ABI" 0 "$?"
# Beside the DLL, where Windows looks for it.
lld-link /nologo /entry:HostMain /subsystem:console /nodefaultlib "/out:$kit/bin/msvc_host.exe" \
  "$work/msvc_host.obj" "$kit/lib/corvane_feed.lib" "$work/kernel32.lib" >"$work/err" 2>&1
check "the host links against kit/lib/corvane_feed.lib" 0 "$?"
check "the host imports corvane_feed.dll" 1 \
  "$(x86_64-w64-mingw32-objdump -p "$kit/bin/msvc_host.exe" | grep -c 'DLL Name: corvane_feed.dll')"

block=corvane-msvc-host-test-$$
mkfifo "$work/stdin"
CORVANE_TEST_BLOCK=$block $emulator "$kit/bin/msvc_host.exe" <"$work/stdin" >"$work/host.out" \
  2>"$work/host.err" &
host_pid=$!
exec 3>"$work/stdin"  # the host holds the block until this ends
wait_for_line "$work/host.out" '^published' "$host_pid"
check "the host published, with the library's version" "published $version" \
  "$(sed -n 's/^\(published [^\r]*\).*/\1/p' "$work/host.out")"
check "the host said nothing else" "" "$(sed '/^published/d' "$work/host.out")"

q() { python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); print(json.dumps(eval(sys.argv[2])))' "$work/out" "$1" 2>&1; }
check "inspect: exit code" 0 \
  "$(run "$unpacked/tools/corvane-inspect.exe" --name "$block" --game-id 12345 --drive C:)"
check "inspect: read, shown, the IPC window" '[true, true, 6699]' \
  "$(q '[d["read"], d["enabled"], d["ipc_wnd"]]')"
check "inspect: rows" '["60", "23.5%", "7.0/16.0GB", "1.2%"]' \
  "$(q '[d["rows"][i]["value"] for i in (0, 2, 3, 4)]')"

exec 3>&-
wait "$host_pid"
check "the host: exit code" 0 "$?"
host_pid=""
finish
