#!/usr/bin/env bash
# The Wine test bed: a virtual X display and a Wine prefix of the build's own.
#
#   winebed.sh up     start Xvfb, a compositing manager and a persistent wineserver; make the
#                     prefix on first use
#   winebed.sh down   stop them again
#   winebed.sh env    print the environment (export lines) for running programs in the bed
#   winebed.sh screenshot FILE.png   save the whole virtual display
#
# Nothing depends on a display the machine already has. The bed lives in $CORVANE_WINEBED
# (default: build/wine in the repository). Concurrent callers are serialised with a lock.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bed=${CORVANE_WINEBED:-$repo/build/wine}
prefix=$bed/prefix
mkdir -p "$bed"

log() { echo "winebed: $*" >&2; }

export_env() {
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEARCH=win64
  # No Mono or Gecko: their installers would wait for a click that never comes.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ -f "$bed/display" ]; then DISPLAY=$(cat "$bed/display"); export DISPLAY; fi
}

xvfb_running() {
  [ -f "$bed/xvfb.pid" ] && kill -0 "$(cat "$bed/xvfb.pid")" 2>/dev/null && [ -f "$bed/display" ] &&
    xdpyinfo -display "$(cat "$bed/display")" >/dev/null 2>&1
}

start_xvfb() {
  local n
  for n in $(seq 90 199); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    # fd 9 is the bed's lock: long-lived children must not keep it.
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$bed/xvfb.log" 2>&1 9>&- &
    echo $! >"$bed/xvfb.pid"
    local tries
    for tries in $(seq 1 50); do
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        echo ":$n" >"$bed/display"
        log "Xvfb on :$n"
        return 0
      fi
      kill -0 "$(cat "$bed/xvfb.pid")" 2>/dev/null || break
      sleep 0.2
    done
    kill "$(cat "$bed/xvfb.pid")" 2>/dev/null || true
  done
  log "could not start Xvfb (see $bed/xvfb.log)"
  return 1
}

# Without a compositing manager the X server shows a layered window's premultiplied pixels as
# they are, as if over black; xcompmgr blends them over what lies below, as Windows does.
compositor_running() {
  [ -f "$bed/xcompmgr.pid" ] && kill -0 "$(cat "$bed/xcompmgr.pid")" 2>/dev/null
}

start_compositor() {
  xcompmgr -d "$(cat "$bed/display")" >"$bed/xcompmgr.log" 2>&1 9>&- &
  echo $! >"$bed/xcompmgr.pid"
  sleep 0.3
  if ! compositor_running; then
    log "could not start xcompmgr (see $bed/xcompmgr.log)"
    return 1
  fi
  log "xcompmgr on $(cat "$bed/display")"
}

init_prefix() {
  [ -f "$prefix/.corvane-ready" ] && return 0
  log "initialising Wine prefix $prefix (once; this takes a minute)"
  rm -rf "$prefix"
  wineboot -i >"$bed/wineboot.log" 2>&1 9>&-
  wineserver -w
  # The overlay's font, mapped to one that Debian ships.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Microsoft YaHei' \
    /d 'WenQuanYi Micro Hei' /f >>"$bed/wineboot.log" 2>&1
  wineserver -w
  touch "$prefix/.corvane-ready"
}

# There is no window manager on the virtual display: Wine would wait 2 s for every managed
# window that is hidden or destroyed to be withdrawn by one. Windows Wine leaves unmanaged go at
# once. (Its own marker, so that prefixes made before this setting get it too.)
configure_prefix() {
  [ -f "$prefix/.corvane-unmanaged" ] && return 0
  # The server keeps the value; programs started from now on see it.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$bed/wineboot.log" 2>&1 9>&-
  touch "$prefix/.corvane-unmanaged"
}

# A first program on a new display or server has been seen to hang; one throw-away run, with a
# time limit and one retry on a fresh server, takes that hit before any test does.
warm_up() {
  local attempt
  for attempt in 1 2; do
    if timeout 90 wine cmd.exe /c exit >/dev/null 2>&1 9>&-; then
      touch "$bed/warm"
      return 0
    fi
    log "warm-up run $attempt did not finish; restarting wineserver"
    wineserver -k 2>/dev/null || true
    wineserver -p 2>/dev/null 9>&- || true
  done
  log "Wine does not run programs in $prefix"
  return 1
}

up() {
  exec 9>"$bed/lock"
  flock 9
  if ! xvfb_running; then
    rm -f "$bed/warm"
    start_xvfb
  fi
  compositor_running || start_compositor
  export_env
  init_prefix
  configure_prefix
  # One server for the whole run instead of one per program: faster and steadier.
  wineserver -p 2>/dev/null 9>&- || true
  [ -f "$bed/warm" ] || warm_up
}

down() {
  exec 9>"$bed/lock"
  flock 9
  export_env
  wineserver -k 2>/dev/null || true
  if [ -f "$bed/xcompmgr.pid" ]; then
    kill "$(cat "$bed/xcompmgr.pid")" 2>/dev/null || true
    rm -f "$bed/xcompmgr.pid"
  fi
  if [ -f "$bed/xvfb.pid" ]; then
    kill "$(cat "$bed/xvfb.pid")" 2>/dev/null || true
    rm -f "$bed/xvfb.pid" "$bed/display" "$bed/warm"
  fi
}

case "${1:-}" in
  up) up ;;
  down) down ;;
  env)
    export_env
    echo "export WINEPREFIX='$WINEPREFIX' WINEDEBUG='$WINEDEBUG' WINEARCH='$WINEARCH'"
    echo "export WINEDLLOVERRIDES='$WINEDLLOVERRIDES'"
    if [ -n "${DISPLAY:-}" ]; then echo "export DISPLAY='$DISPLAY'"; fi
    ;;
  screenshot)
    [ -n "${2:-}" ] || { echo "usage: winebed.sh screenshot FILE.png" >&2; exit 2; }
    export_env
    [ -n "${DISPLAY:-}" ] || { log "the bed is not up"; exit 1; }
    import -display "$DISPLAY" -window root "$2"
    log "screenshot saved to $2"
    ;;
  -h | --help)
    sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
    ;;
  *)
    echo "usage: winebed.sh up|down|env|screenshot FILE.png" >&2
    exit 2
    ;;
esac
