#!/usr/bin/env bash
# corvane-feed natively: what it leaves in /dev/shm, that --interval re-reads an edited file,
# --remove, and exit code 1 with one line on standard error for bad options and inputs.
#   corvane_feed_test.sh PATH/TO/corvane-feed
set -uo pipefail
feed=$1
name=corvane-feed-test-$$
work=$(mktemp -d)
trap 'kill "${pid:-}" 2>/dev/null; "$feed" --remove --name "$name" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The payload of the block: the length word at offset 12, the text from offset 20.
payload() {
  local length
  length=$(od -An -tu4 -j12 -N4 "/dev/shm/$name" | tr -d ' ')
  dd if="/dev/shm/$name" bs=1 skip=20 count="$length" status=none
}

"$feed" --once --name "$name" --json '{"cpu": 1.5}' --show 0 --ipc ff || fail "--once exited $?"
[ -f "/dev/shm/$name" ] || fail "no /dev/shm/$name after --once"
[ "$(payload)" = '{"cpu": 1.5}' ] || fail "payload is '$(payload)'"
[ "$(od -An -tu4 -j8 -N4 "/dev/shm/$name" | tr -d ' ')" = 0 ] || fail "show flag not 0"
[ "$(od -An -tu4 -j16 -N4 "/dev/shm/$name" | tr -d ' ')" = 255 ] || fail "ipc word not 255"
[ "$(od -An -tu8 -j0 -N8 "/dev/shm/$name" | tr -d ' ')" = 0 ] || fail "lock word left held"

echo '{"cpu": 2}' >"$work/doc.json"
"$feed" --name "$name" --json-file "$work/doc.json" --interval 50 &
pid=$!
sleep 0.3
[ "$(payload)" = '{"cpu": 2}' ] || fail "file not published: '$(payload)'"
printf '%s' '{"cpu": 3}' >"$work/doc.json"
sleep 0.3
[ "$(payload)" = '{"cpu": 3}' ] || fail "edit not published: '$(payload)'"
kill -TERM "$pid"
wait "$pid" || fail "did not end cleanly on SIGTERM"
pid=

"$feed" --remove --name "$name" || fail "--remove exited $?"
[ ! -e "/dev/shm/$name" ] || fail "/dev/shm/$name still there after --remove"

head -c 4097 /dev/zero | tr '\0' ' ' >"$work/big.json"
expect_error() {
  local expected=$1
  shift
  local err
  err=$("$feed" --name "$name" "$@" 2>&1 >/dev/null)
  local code=$?
  [ "$code" = 1 ] || fail "$* exited $code"
  [ "$(printf '%s\n' "$err" | wc -l)" = 1 ] || fail "$*: not one line: $err"
  [[ "$err" == "corvane-feed: $expected"* ]] || fail "$*: '$err'"
}
expect_error "unknown option '--bogus'" --bogus
expect_error "--interval takes milliseconds" --live --interval x
expect_error "cannot read $work/missing.json" --json-file "$work/missing.json" --once
expect_error "$work/big.json has 4097 bytes; the block takes at most 4096" --json-file "$work/big.json"
expect_error "the --json text is not a JSON document" --json '{"cpu":' --once
[ ! -e "/dev/shm/$name" ] || fail "a refused input created the block"
"$feed" --help | grep -q -- '--json-file PATH' || fail "--help"
"$feed" --version | grep -qE '^corvane-feed [0-9]+(\.[0-9]+)+\s*$' || fail "--version"

[ "$failures" = 0 ] && echo "corvane-feed: all checks passed"
exit $((failures > 0))
