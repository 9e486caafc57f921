# Runs the overlay's processes under Wine for the demo and the whole-overlay tests: the demo
# game (commands through a pipe on its standard input), corvane-feed and Corvane.exe, each in
# the background with a bound on every wait. Source it with `work` (a scratch folder),
# `game_exe`, `feed_exe`, `inspect_exe` and `corvane` set and Wine's environment in place; call stop_session
# at the end. Safe under `set -e`.
background_pids=()

now_ms() { date +%s%3N; }
winpath() { echo "Z:${1//\//\\}"; }

stop_session() {  # ends every process started here that still runs
  local pid
  for pid in "${background_pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}

screenshot() {  # screenshot <file.png>: the whole display
  import -display "$DISPLAY" -window root "$1" 2>/dev/null
}

# start_game <name> <options...>: the demo game, reading commands from a pipe; sets
# <name>_hwnd, <name>_ipc and <name>_pid from its first line.
start_game() {
  local name=$1
  shift
  local fifo="$work/game-$name.in" out="$work/game-$name.out"
  mkfifo "$fifo"
  wine "$game_exe" "$@" <"$fifo" >"$out" 2>"$work/game-$name.err" &
  local pid=$!
  background_pids+=("$pid")
  local fd
  exec {fd}>"$fifo"
  declare -g "game_fd_$name=$fd" "game_unix_pid_$name=$pid"
  local deadline=$(($(now_ms) + 60000)) line=""
  while [ -z "$line" ] && [ "$(now_ms)" -lt "$deadline" ]; do
    line=$(tr -d '\r' <"$out" | grep -m 1 '^hwnd=' || true)
    [ -n "$line" ] || sleep 0.2
  done
  if [ -z "$line" ]; then
    echo "the demo game '$name' did not start (see $work/game-$name.err)" >&2
    exit 1
  fi
  local field value
  for field in $line; do
    value=${field#*=}
    declare -g "${name}_${field%%=*}=${value#0x}"
  done
}

game_said() { tr -d '\r' <"$work/game-$1.out" | grep -q -- "$2"; }  # game_said <name> <regex>

tell_game() {  # tell_game <name> <line>
  local fd_var="game_fd_$1"
  echo "$2" >&"${!fd_var}"
}

wait_game() {  # wait_game <name>: until the game's process has ended; fails after 20 s
  local pid_var="game_unix_pid_$1" i
  for i in $(seq 1 100); do
    kill -0 "${!pid_var}" 2>/dev/null || return 0
    sleep 0.2
  done
  return 1
}

start_feed() {
  wine "$feed_exe" "$@" >"$work/feed.out" 2>"$work/feed.err" &
  feed_pid=$!
  background_pids+=("$feed_pid")
}

stop_feed() {
  kill "$feed_pid" 2>/dev/null || true
  wait "$feed_pid" 2>/dev/null || true
}

# wait_for_block: until the block can be read (corvane-feed has published once), at most 30 s.
# Corvane tells the host's IPC window whom it serves at its first read of the block, so it is
# started after.
# Needs `inspect_exe`.
wait_for_block() {
  local deadline=$(($(now_ms) + 30000))
  until wine "$inspect_exe" >/dev/null 2>&1; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

start_corvane() {
  corvane_started_at=$(now_ms)
  wine "$corvane" "$@" >/dev/null 2>&1 &
  corvane_pid=$!
  background_pids+=("$corvane_pid")
}

wait_corvane() {  # wait_corvane <seconds>: sets corvane_rc (124 when it did not end)
  local deadline=$(($(now_ms) + $1 * 1000))
  while kill -0 "$corvane_pid" 2>/dev/null; do
    if [ "$(now_ms)" -ge "$deadline" ]; then
      corvane_rc=124
      return
    fi
    sleep 0.05
  done
  corvane_rc=0
  wait "$corvane_pid" || corvane_rc=$?
}

