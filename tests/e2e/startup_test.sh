#!/usr/bin/env bash
# The real Corvane.exe under Wine: exit codes of start-up, and the crash-report library found
# at <exe dir>\..\crash_x64 of an install laid out as the host client lays it out.
# Every run leaves its two logs; they are read back with corvane-logcat and the development key.
# Two Corvanes of one host, each over its own demo game, keep a memory log each.
#   startup_test.sh <Corvane.exe> <test crash_report_helper.dll> <expected version>
#                   <corvane-logcat.exe> <keys dir> <corvane-demo-game.exe>
set -uo pipefail
exe=$1 helper_dll=$2 version=$3 logcat=$4 keys=$5 game_exe=$6
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wine_run=$here/../../scripts/wine-run.sh
"$here/../../scripts/winebed.sh" up || exit 1
eval "$("$here/../../scripts/winebed.sh" env)"

work=$(mktemp -d)
# shellcheck source=scripts/overlay_session.sh
source "$here/../../scripts/overlay_session.sh"  # winpath, the demo game and Corvane in the background
trap 'stop_session; rm -rf "$work"' EXIT
passes=0 failures=0
check() {  # check <name> <expected> <actual>
  if [ "$2" == "$3" ]; then
    echo "ok   $1"
    passes=$((passes + 1))
  else
    echo "FAIL $1: expected [$2], got [$3]"
    failures=$((failures + 1))
  fi
}

# Host/overlay/Corvane.exe with Host/crash_x64/crash_report_helper.dll beside it.
mkdir -p "$work/Host/overlay" "$work/Host/crash_x64"
cp "$exe" "$work/Host/overlay/Corvane.exe"
cp "$helper_dll" "$work/Host/crash_x64/crash_report_helper.dll"
export CORVANE_TEST_CRASH_LOG="Z:${work//\//\\}\\calls.txt"

run() {  # run <args...>: prints the exit code
  "$wine_run" "$work/Host/overlay/Corvane.exe" "$@" >/dev/null 2>&1
  echo $?
}
run_line() {  # run_line <command line>: the line exactly as given, through cmd; the exit code
  "$wine_run" cmd /c "$1" >/dev/null 2>&1
  echo $?
}
decode() {  # decode <log file>: its records, one a line, on standard output
  "$wine_run" "$logcat" --key "$(winpath "$keys/dev-reader.key")" "$(winpath "$1")" 2>/dev/null |
    tr -d '\r'
}

check "no arguments exits 1" 1 "$(run)"
check "--hwnd=1A2B exits 1" 1 "$(run --hwnd=1A2B)"
check "--hwnd at the end exits 1" 1 "$(run --game-id 42 --hwnd)"
# Wine quotes an argument that holds spaces, so the spaces go through cmd, which passes the
# rest of its line as it stands.
winexe="$(winpath "$work/Host/overlay/Corvane.exe")"
check "--hwnd followed by spaces exits 1" 1 "$(run_line "$winexe --game-id 42 --hwnd   ")"
check "--hwnd 0 exits 1" 1 "$(run --hwnd 0 --game-id 42)"
# A handle that names no window: GDI+ starts and stops, and the overlay cannot start.
check "--hwnd of no window exits 1" 1 "$(run --hwnd 1A2B --game-id 42)"

# Each run above loaded the library once and unloaded it once, in that order, with the
# version of the executable.
expected_init="init size=248 app=corvane version=$version v76=8191 v96=0 v200=11 v204=4 v208=10000001 v216=0 v224=0 v232=4 v240=1 reserved_zero=1"
calls=$(tr -d '\r' <"$work/calls.txt" 2>/dev/null)
expected_calls=$(for _ in 1 2 3 4 5 6; do printf '%s\nuninit\n' "$expected_init"; done)
check "crash library: one init then one uninit per run" "$expected_calls" "$calls"

# Without the library start-up goes on the same way.
rm "$work/Host/crash_x64/crash_report_helper.dll"
check "no crash library, no arguments exits 1" 1 "$(run)"

# The program saw the spaces after --hwnd (its start record shows its command line).
seen=$(for log in "$work/Host/log"/app.corvane.2*.log; do decode "$log" | head -n 1; done)
check "--hwnd followed by spaces reached the program as such" 1 \
  "$(echo "$seen" | grep -c 'cmdline=\[--game-id 42 --hwnd   \]$')"

# A run with a host path and no --hwnd: both logs under <host>\log and an empty memlog.
host="$work/VxHost"
mkdir -p "$host"
check "vx= run without --hwnd exits 1" 1 "$(run "vx=$(winpath "$host")")"
log_dir="$host/log"
text_logs=$(ls "$log_dir"/app.corvane.2*.log 2>/dev/null)
check "one text log app.corvane.<time>.log" 1 "$(echo "$text_logs" | grep -c .)"
check "memory log app.corvane.log is 3145890 bytes" 3145890 "$(stat -c %s "$log_dir/app.corvane.log" 2>/dev/null)"
check "empty memlog directory" "yes" "$([ -d "$log_dir/memlog" ] && [ -z "$(ls -A "$log_dir/memlog")" ] && echo yes)"
for log in "$(echo "$text_logs" | head -n 1)" "$log_dir/app.corvane.log"; do
  name=$(basename "$log")
  records=$(decode "$log")
  check "$name: the start record comes first" 1 \
    "$(echo "$records" | head -n 1 | grep -c "\]\[NOTICE\]\[main(.*)\]	Corvane starting, version=$version, pid=[0-9]*, cmdline=\[")"
  check "$name: the crash-helper warning" 1 "$(echo "$records" | grep -c '\]\[WARNING\]\[main(.*\[crash\] LoadLibrary failed')"
  check "$name: Missing --hwnd argument is the last record" "Missing --hwnd argument" \
    "$(echo "$records" | tail -n 1 | cut -f2-)"
done

# A handle that never becomes a window: ten waits of 500 ms, each with its record, then the
# error records and exit code 1 after about 5 s.
host="$work/NoWindowHost"
mkdir -p "$host"
started=$(date +%s%3N)
check "--hwnd that never becomes a window exits 1" 1 \
  "$(run "vx=$(winpath "$host")" --hwnd 7FFF1A2B --game-id 42)"
took=$(($(date +%s%3N) - started))
echo "     (it ended after $took ms)"
check "--hwnd that never becomes a window: ends after about 5 s" yes \
  "$([ "$took" -ge 5000 ] && [ "$took" -le 8000 ] && echo yes)"
records=$(decode "$(ls "$host/log"/app.corvane.2*.log | head -n 1)" | cut -f2-)
check "--hwnd that never becomes a window: ten retry records" \
  "$(for i in $(seq 1 10); do echo "Target window not alive yet, retry $i/10..."; done)" \
  "$(echo "$records" | grep '^Target window not alive yet')"
check "--hwnd that never becomes a window: the error records, then the exit" \
  "Target game window is not alive after retries
Failed to initialize OverlayApp" \
  "$(echo "$records" | grep -A1 '^Target game window is not alive after retries$')"
check "--hwnd that never becomes a window: the start record names the handle" 1 \
  "$(echo "$records" | grep -c '^OverlayApp::Init hwnd=000000007FFF1A2B game_id=42$')"

# Two games of one host at once: two Corvanes with the same host path, each over its own demo
# game. The first keeps the memory log app.corvane.log; the second finds that file held and
# keeps its own in app.corvane.<its process id>.log. Each holds its own start record only.
host="$work/TwoGamesHost"
log_dir="$host/log"
mkdir -p "$host"
text_logs_in() { ls "$1"/app.corvane.2*-*.log 2>/dev/null; }  # app.corvane.<time>.log
has_text_logs() { [ "$(text_logs_in "$log_dir" | wc -l)" -ge "$1" ]; }
start_game one --pos 100,80 --size 320,200 --title "Corvane first game"
start_game two --pos 500,80 --size 320,200 --title "Corvane second game"
corvane=$exe
start_corvane "vx=$(winpath "$host")" --hwnd "$one_hwnd" --game-id 1
first_corvane=$corvane_pid
# The logger opens the memory log before it makes the text log: once the text log is there,
# the first one holds app.corvane.log.
for _ in $(seq 1 150); do has_text_logs 1 && break; sleep 0.2; done
start_corvane "vx=$(winpath "$host")" --hwnd "$two_hwnd" --game-id 2
second_corvane=$corvane_pid
for _ in $(seq 1 150); do has_text_logs 2 && break; sleep 0.2; done
tell_game one quit
tell_game two quit
corvane_pid=$first_corvane
wait_corvane 20
check "two Corvanes on one host: the first ends with its game, exit code 0" 0 "$corvane_rc"
corvane_pid=$second_corvane
wait_corvane 20
check "two Corvanes on one host: the second ends with its game, exit code 0" 0 "$corvane_rc"
check "two Corvanes on one host: two text logs" 2 "$(text_logs_in "$log_dir" | wc -l)"
pid_logs=$(cd "$log_dir" && for name in app.corvane.*.log; do
  if [[ $name =~ ^app\.corvane\.[0-9]+\.log$ ]]; then echo "$name"; fi
done)
check "two Corvanes on one host: one memory log named with a process id" 1 "$(echo "$pid_logs" | grep -c .)"
second_pid=$(echo "$pid_logs" | head -n 1 | cut -d. -f3)
check "two Corvanes on one host: both memory logs are 3145890 bytes" "3145890 3145890" \
  "$(stat -c %s "$log_dir/app.corvane.log" "$log_dir/$(echo "$pid_logs" | head -n 1)" 2>/dev/null | xargs)"
starts_in() { decode "$1" | cut -f2- | grep '^Corvane starting, '; }  # its start records
# <start records> <pattern>: how many there are, and how many match
count_starts() { echo "$(echo "$1" | grep -c .) $(echo "$1" | grep -c "$2")"; }
check "two Corvanes on one host: app.corvane.log holds one start record, the first one's" "1 1" \
  "$(count_starts "$(starts_in "$log_dir/app.corvane.log")" \
    "^Corvane starting, version=$version, pid=[0-9]*, cmdline=\[.* --game-id 1\]$")"
check "two Corvanes on one host: app.corvane.<pid>.log holds one start record, that of process <pid>" \
  "1 1" "$(count_starts "$(starts_in "$log_dir/app.corvane.$second_pid.log")" \
    "^Corvane starting, version=$version, pid=$second_pid, cmdline=\[.* --game-id 2\]$")"

# An install path of more than 260 characters: the executable's whole path is read, so the
# host path (the parent of its directory) and the logs under it are found.
long="$work/$(printf 'p%.0s' $(seq 1 120))/$(printf 'q%.0s' $(seq 1 120))"
mkdir -p "$long/overlay"
cp "$exe" "$long/overlay/Corvane.exe"
"$wine_run" "$long/overlay/Corvane.exe" >/dev/null 2>&1
check "long install path: its log directory is found" 1 "$(ls "$long/log"/app.corvane.2*.log 2>/dev/null | wc -l)"
check "long install path: the start record names it" 1 \
  "$(decode "$(ls "$long/log"/app.corvane.2*.log | head -n 1)" | grep -c "vexora_path=.*qqqq")"

# A host folder that cannot be written (a read-only mount: as root under Wine, file modes do
# not stop writes): both logs go to the user's %LOCALAPPDATA%\Corvane\log, and the records
# right after the start one say why and where. Mounting needs root: without it, skipped.
ro_host="$work/ReadOnlyHost"
mkdir -p "$ro_host"
if mount -t tmpfs -o ro,size=1m corvane-read-only-host "$ro_host" 2>"$work/mount.err"; then
  local_app_data=$("$wine_run" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
  user_log=$("$wine_run" winepath -u "$local_app_data\\Corvane\\log" 2>/dev/null | tr -d '\r')
  rm -rf "$user_log"
  check "read-only host folder: the run exits 1 (no --hwnd)" 1 "$(run "vx=$(winpath "$ro_host")")"
  umount "$ro_host"
  check "read-only host folder: nothing was written there" "" "$(ls -A "$ro_host")"
  user_text_logs=$(ls "$user_log"/app.corvane.2*.log 2>/dev/null)
  check "read-only host folder: one text log in %LOCALAPPDATA%\\Corvane\\log" 1 \
    "$(echo "$user_text_logs" | grep -c .)"
  check "read-only host folder: the memory log beside it" 3145890 \
    "$(stat -c %s "$user_log/app.corvane.log" 2>/dev/null)"
  for log in "$(echo "$user_text_logs" | head -n 1)" "$user_log/app.corvane.log"; do
    records=$(decode "$log" | cut -f2-)
    check "read-only host folder, $(basename "$log"): after the start and host records, why and where" \
      "[boot] the host's log folder $(winpath "$ro_host")\\log cannot be written; the logs are in $local_app_data\\Corvane\\log" \
      "$(echo "$records" | sed -n 3p | sed 's/ cannot be written ([^)]*);/ cannot be written;/')"
  done
  rm -rf "$user_log"
else
  echo "skipped: a read-only host folder: cannot mount a tmpfs: $(cat "$work/mount.err")"
fi

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
