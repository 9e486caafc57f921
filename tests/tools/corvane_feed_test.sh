#!/usr/bin/env bash
# corvane-feed natively: what it leaves in /dev/shm, that --interval re-reads an edited file,
# --remove, --check's verdicts, the takeover of a lock word left held by a killed reader or a
# killed corvane-feed, and exit code 1 with one line on standard error for bad options and
# inputs.
#   corvane_feed_test.sh PATH/TO/corvane-feed PATH/TO/test_block_probe
set -uo pipefail
feed=$1 probe=$2
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
# Each publication carries a new "seq" (the heartbeat) before the file's own keys; --once above
# published none. A file with a "seq" of its own is published as it stands.
seq_of() { payload | sed -n 's/^{"seq":\([0-9]*\),.*/\1/p'; }
[ "$(payload | sed 's/^{"seq":[0-9]*,/{/')" = '{"cpu": 2}' ] ||
  fail "file not published with a seq: '$(payload)'"
first_seq=$(seq_of)
sleep 0.2
[ -n "$first_seq" ] && [ "$(seq_of)" -gt "$first_seq" ] ||
  fail "seq did not grow: '$first_seq', then '$(payload)'"
printf '%s' '{"cpu": 3, "seq": 9}' >"$work/doc.json"
sleep 0.3
[ "$(payload)" = '{"cpu": 3, "seq": 9}' ] || fail "edit not published as it stands: '$(payload)'"
kill -TERM "$pid"
wait "$pid" || fail "did not end cleanly on SIGTERM"
pid=

# A lock word left held by a killed process: the next publication takes it over (after 2 s)
# from the value it kept, says so in one line and publishes. A reader holds it with 1, a
# corvane-feed with its own value: the writer bit, its process id and a number of its own.
lock_word() { od -An -tu8 -j0 -N8 "/dev/shm/$name" | tr -d ' '; }
kill_while_holding() {  # kill_while_holding <line it prints once it holds> <command...>
  local line=$1
  shift
  "$@" >"$work/holder.out" 2>&1 &
  local holder=$! i
  holder_pid=$holder
  for i in $(seq 1 100); do
    grep -q "$line" "$work/holder.out" && break
    sleep 0.05
  done
  kill -KILL "$holder"
  wait "$holder" 2>/dev/null
}
for holder in reader writer; do
  if [ $holder = reader ]; then
    kill_while_holding '^held$' "$probe" hold "$name"
    value=1
    [ "$(lock_word)" = $value ] || fail "$holder: the lock word is $(lock_word), not $value"
  else
    kill_while_holding 'holding the block' "$feed" --name "$name" --json '{}' --test-hold-lock
    value=$(lock_word)
    [ "$(python3 -c "v = $value; print(v >> 63, (v >> 32) & 0x7FFFFFFF)")" = "1 $holder_pid" ] ||
      fail "$holder: the lock word $value is not the writer bit with process $holder_pid"
  fi
  "$feed" --once --name "$name" --json "{\"cpu\": $value}" 2>"$work/err" ||
    fail "$holder: no publication over the abandoned word"
  [ "$(payload)" = "{\"cpu\": $value}" ] || fail "$holder: payload is '$(payload)'"
  [ "$(lock_word)" = 0 ] || fail "$holder: lock word left at $(lock_word)"
  [ "$(wc -l <"$work/err")" = 1 ] && grep -q "^corvane-feed: took over the block's lock word, which had held $value without a break for [0-9]* ms" "$work/err" ||
    fail "$holder: standard error: $(cat "$work/err")"
done

# --live with a frame of 90 s (a load screen) in the game's frame times: published as the
# longest frame the overlay takes, so every overlay reads the frame times whole.
printf '%s\n' '60 16.7 90000 16.7' >"$work/fps.txt"
"$feed" --once --name "$name" --live --game-id 5 --fps-file "$work/fps.txt" ||
  fail "--live with a 90 s frame exited $?"
payload >"$work/live.json"
out=$("$feed" --check "$work/live.json") || fail "--live with a 90 s frame: $out"
grep -q '"frame_ms":\[16.7,60000.0,16.7\]' "$work/live.json" || fail "--live frame times: $(cat "$work/live.json")"

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
# A folder, a device, a pipe with no writer or a file that cannot be read where a document goes:
# one line, at once.
mkdir "$work/folder.json"
mkfifo "$work/pipe.json"
expect_error "cannot read $work/folder.json: it is a directory" --json-file "$work/folder.json"
for input in /dev/zero "$work/pipe.json"; do
  expect_error "cannot read $input: it is not a regular file (a device, a pipe or a socket)" \
    --json-file "$input"
done
expect_error "cannot read /proc/self/mem: " --json-file /proc/self/mem
[ ! -e "/dev/shm/$name" ] || fail "a refused input created the block"

# --check: one line on standard output; 0 only for a document read whole that fits the block.
printf '%s' '{"cpu": 2, "diskio": [{"name": "C:", "used": 1}]}' >"$work/good.json"
out=$("$feed" --check "$work/good.json") || fail "--check of a good document exited $?"
[ "$out" = "$work/good.json: read whole by every overlay (2 tried); 49 of 4096 bytes" ] ||
  fail "--check good: '$out'"
{ printf '%s' '{"cpu": 2}'; head -c 4086 /dev/zero | tr '\0' ' '; } >"$work/longest.json"
out=$("$feed" --check "$work/longest.json") || fail "--check of a document of 4096 bytes exited $?"
[ "$out" = "$work/longest.json: read whole by every overlay (1 tried); 4096 of 4096 bytes" ] ||
  fail "--check longest: '$out'"
{ printf '%s' '{"cpu": 2}'; head -c 4087 /dev/zero | tr '\0' ' '; } >"$work/long.json"
out=$("$feed" --check "$work/long.json")
[ $? = 1 ] || fail "--check of a long document did not exit 1"
[ "$out" = "$work/long.json: not read by any overlay: it has 4097 bytes; the block takes at most 4096" ] ||
  fail "--check long: '$out'"
# One no block takes, of 200,000 games (6 MB): refused as it stands, in bounded processor time
# (parsing it once for each game took hours).
python3 -c 'import json; print(json.dumps({"fps": [{"game_id": i, "cur": 60} for i in range(200000)]}))' \
  >"$work/games.json"
size=$(stat -c %s "$work/games.json")
out=$(/usr/bin/time -f '%U %S' -o "$work/usage" "$feed" --check "$work/games.json")
[ $? = 1 ] || fail "--check of 200,000 games did not exit 1"
[ "$out" = "$work/games.json: not read by any overlay: it has $size bytes; the block takes at most 4096" ] ||
  fail "--check of 200,000 games: '$out'"
cpu=$(tail -n 1 "$work/usage" | awk '{ print $1 + $2 }')  # after time's note of the exit code
echo "     --check of 200,000 games ($size bytes): $cpu s of processor time"
# (a sanitized build says in CORVANE_TEST_SLOWDOWN how many times slower its checks make it)
most_cpu=$((5 * ${CORVANE_TEST_SLOWDOWN:-1}))
awk -v cpu="$cpu" -v most="$most_cpu" 'BEGIN { exit !(cpu < most) }' ||
  fail "--check of 200,000 games took $cpu s of processor time (at most $most_cpu)"
# --check of a device that never ends: refused at once, in bounded memory (it read 266 MB
# before the size rule once); a folder and a pipe likewise.
err=$(/usr/bin/time -f '%M' -o "$work/usage" timeout 20 "$feed" --check /dev/zero 2>&1 >/dev/null)
[ $? = 1 ] && [ "$err" = "corvane-feed: cannot read /dev/zero: it is not a regular file (a device, a pipe or a socket)" ] ||
  fail "--check /dev/zero: '$err'"
most_kb=$((60000 * ${CORVANE_TEST_SLOWDOWN:-1}))
used_kb=$(tail -n 1 "$work/usage")
[ "$used_kb" -lt "$most_kb" ] || fail "--check /dev/zero used $used_kb KB (at most $most_kb)"
for input in "$work/folder.json" "$work/pipe.json"; do
  err=$(timeout 20 "$feed" --check "$input" 2>&1 >/dev/null)
  [ $? = 1 ] && [[ "$err" == "corvane-feed: cannot read $input: it is "* ]] || fail "--check $input: '$err'"
done
err=$("$feed" --check "$work/missing.json" 2>&1 >/dev/null)
[ $? = 1 ] && [ "$err" = "corvane-feed: cannot read $work/missing.json" ] || fail "--check missing: '$err'"
"$feed" --help | grep -q -- '--json-file PATH' || fail "--help"
"$feed" --help | grep -q -- '--test-hold-lock' || fail "--help lacks the test option"
"$feed" --version | grep -qE '^corvane-feed [0-9]+(\.[0-9]+)+\s*$' || fail "--version"

[ "$failures" = 0 ] && echo "corvane-feed: all checks passed"
exit $((failures > 0))
