#!/usr/bin/env bash
# shellcheck disable=SC2154  # main_hwnd, main_pid and host_pid_* come from start_game, start_host
# The kit's sample host as a launcher team builds it from the package alone: with MinGW and for
# the MSVC ABI (clang, lld-link and the Universal C Runtime, with msvc_crt_start.c standing in
# for the static part of Microsoft's C runtime, which Debian lacks; mingw-w64's headers stand in
# for the Windows SDK), against kit/include and kit/lib as shipped. Then, under Wine, each build
# publishes to the package's real Corvane.exe attached to the package's demo game, in a prefix
# of its own made without any font mapping, so that "Microsoft YaHei" is missing as in a fresh
# Wine or Proton prefix (Debian's Wine has no Tahoma either): the box shows with text in the
# sample's colour, each host prints the
# message 1004 it receives (the game id and the game's process id), and Corvane's log holds one
# WARNING naming the missing family and the one it drew with.
#   sample_host_test.sh <release package zip> <keys dir> <folder of the font-less prefix>
set -uo pipefail
package=$1 keys=$2 bare_prefix=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
game_exe=""
# shellcheck source=tests/e2e/overlay_e2e_lib.sh
source "$here/../e2e/overlay_e2e_lib.sh"
install_package "$package" "$work/host"
game_exe=$host/tools/corvane-demo-game.exe
kit=$host/kit
for tool in x86_64-w64-mingw32-gcc clang lld-link llvm-dlltool; do
  command -v "$tool" >/dev/null || { echo "FAIL $tool is missing (scripts/install-deps.sh)"; exit 1; }
done

# Built as the sample's first lines say, in the host folder, the DLL copied beside it.
(cd "$host" && x86_64-w64-mingw32-gcc -Wall -Wextra -Werror -I kit/include \
  kit/examples/sample_host.c kit/lib/libcorvane_feed.dll.a -o sample_host_mingw.exe) 2>"$work/err"
check "MinGW: the sample builds against the kit" 0 "$?"
mingw_sdk=/usr/x86_64-w64-mingw32
clang --target=x86_64-pc-windows-msvc -fgnuc-version=4.2.1 -D_UCRT -Wall -Wextra -Werror \
  -idirafter "$mingw_sdk/include" -I "$kit/include" -c "$kit/examples/sample_host.c" \
  -o "$work/sample_host.obj" 2>"$work/err"
check "MSVC ABI: the sample compiles against the kit" 0 "$?"
clang --target=x86_64-pc-windows-msvc -Wall -Wextra -Werror -c "$here/msvc_crt_start.c" \
  -o "$work/crt_start.obj" 2>"$work/err"
printf '%s\n' "LIBRARY ucrtbase.dll" EXPORTS _configure_narrow_argv __p___argc __p___argv exit \
  __acrt_iob_func __stdio_common_vfprintf __stdio_common_vsprintf fflush strtoul _strtoui64 \
  memset >"$work/ucrtbase.def"
llvm-dlltool -m i386:x86-64 -d "$work/ucrtbase.def" -l "$work/ucrtbase.lib"
lld-link /nologo /subsystem:console /nodefaultlib /entry:mainCRTStartup \
  "/out:$host/sample_host_msvc.exe" "$work/sample_host.obj" "$work/crt_start.obj" \
  "$work/ucrtbase.lib" "$kit/lib/corvane_feed.lib" "$mingw_sdk/lib/libkernel32.a" \
  "$mingw_sdk/lib/libuser32.a" >"$work/err" 2>&1
check "MSVC ABI: the sample links against kit/lib/corvane_feed.lib" 0 "$?"
cp "$kit/bin/corvane_feed.dll" "$host/"
for build in mingw msvc; do
  check "$build: the sample imports corvane_feed.dll" 1 \
    "$(x86_64-w64-mingw32-objdump -p "$host/sample_host_$build.exe" | grep -c 'DLL Name: corvane_feed.dll')"
  check "$build: the sample lets message 1004 through the filter (ChangeWindowMessageFilterEx)" 1 \
    "$(x86_64-w64-mingw32-objdump -p "$host/sample_host_$build.exe" | grep -c ' ChangeWindowMessageFilterEx$')"
done

# A prefix that never had a font mapped, made once and kept beside the test bed's; its own
# wineserver for this test, ended at the end.
export WINEPREFIX=$bare_prefix
trap 'stop_session; WINEPREFIX=$bare_prefix wineserver -k 2>/dev/null
  if [ -n "${CORVANE_E2E_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi' EXIT
if [ ! -f "$bare_prefix/.corvane-fontless" ]; then
  rm -rf "$bare_prefix"
  timeout 240 wineboot -i >"$work/wineboot.log" 2>&1
  wineserver -w
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$work/wineboot.log" 2>&1
  wineserver -w
  touch "$bare_prefix/.corvane-fontless"
fi
wineserver -p 2>/dev/null || true
check "the prefix maps no font to Microsoft YaHei" 1 \
  "$(wine reg query 'HKCU\Software\Wine\Fonts\Replacements' /v 'Microsoft YaHei' >/dev/null 2>&1; echo $?)"

start_host() {  # start_host <build> <args...>: the sample host, its lines in host-<build>.out
  local build=$1
  shift
  wine "$host/sample_host_$build.exe" "$@" >"$work/host-$build.out" 2>"$work/host-$build.err" &
  declare -g "host_pid_$build=$!"
  background_pids+=("$!")
}
host_said() { tr -d '\r' <"$work/host-$1.out" | grep -q -- "$2"; }

game_id=18364758544493064720  # above 2^63: all 64 bits reach the host
start_game main --pos 100,80 --size 800,500 --title "Corvane demo game"
start_host msvc "$game_id"
wait_for "msvc: the sample host publishes" 60 host_said msvc '^published [0-9]* bytes'
start_corvane --hwnd "$main_hwnd" --game-id "$game_id"
wait_for "msvc: message 1004 carries the game id and the game's process id" 30 host_said msvc \
  "^message 1004: game id $game_id, game process id $main_pid\$"
current_alpha=80  # the sample's style
wait_for "the box shows over the game" 20 box_present
check "the box is wide enough for the five rows' text" yes \
  "$([ "$box_w" -gt 200 ] && echo yes)"
check "its text is drawn in the sample's colour (#00ff80)" yes \
  "$([ "$(probe count "$box_region" 0,255,128 40)" -ge 20 ] && echo yes)"
kill "$host_pid_msvc" 2>/dev/null

# The MinGW build, as a restarted host with a new IPC window, for 8 publications.
start_host mingw "$game_id" 8
wait_for "mingw: message 1004 carries the game id and the game's process id" 30 host_said mingw \
  "^message 1004: game id $game_id, game process id $main_pid\$"
for _ in $(seq 1 100); do kill -0 "$host_pid_mingw" 2>/dev/null || break; sleep 0.2; done
wait "$host_pid_mingw"
check "mingw: the sample host ends with 0 after its seconds" 0 "$?"
check "mingw: it published at once and then every second, and closed the block" "9 sample host: done" \
  "$(tr -d '\r' <"$work/host-mingw.out" | grep -c '^published') $(tr -d '\r' <"$work/host-mingw.out" | tail -n 1)"

tell_game main quit
wait_game main
wait_corvane 20
check "Corvane ends with exit code 0" 0 "$corvane_rc"
records=$(decode_text_log "$host/log")
check "log: one WARNING naming the missing family and the one drawn with" 1 \
  "$(echo "$records" | grep -c '\[WARNING\].*Font family "Microsoft YaHei" is not installed; drawing with "[^"]*" instead$')"
echo "     ($(echo "$records" | grep -o 'drawing with "[^"]*"'))"
finish
