#!/usr/bin/env bash
# The log tools for real: corvane-keygen makes a pair, sample logs are written against its
# public half, and corvane-logcat reads them back with the private half (and a wrong key).
#   logcat_test.sh <corvane-keygen> <corvane-logcat> <log_sample> [emulator]
# With an emulator (Wine), paths handed to the programs are given as Z: drive paths.
set -uo pipefail
keygen=$1 logcat=$2 sample=$3 emulator=${4:-}

source "$(dirname "${BASH_SOURCE[0]}")/tool_test_lib.sh"

check "keygen --help exits 0" 0 "$(run "$keygen" --help)"
check "keygen without files exits 2" 2 "$(run "$keygen")"
check "keygen --version exits 0" 0 "$(run "$keygen" --version)"
check "keygen --version names it" 1 "$(grep -cE '^corvane-keygen [0-9]+(\.[0-9]+)+\s*$' "$work/out")"
check "keygen makes a pair" 0 "$(run "$keygen" "$(p "$work/reader.key")" "$(p "$work/reader.pub")")"
check "private key is 64 hex digits" 1 "$(grep -cE '^[0-9a-f]{64}$' "$work/reader.key")"
check "public key is 128 hex digits" 1 "$(grep -cE '^[0-9a-f]{128}$' "$work/reader.pub")"
check "keygen prints the public key" "$(cat "$work/reader.pub")" "$(cat "$work/out")"
check "keygen keeps an existing file" 1 "$(run "$keygen" "$(p "$work/reader.key")" "$(p "$work/x.pub")")"
run "$keygen" "$(p "$work/other.key")" "$(p "$work/other.pub")" >/dev/null

$emulator "$sample" "$(p "$work/reader.pub")" "$(p "$work")" 3000 || { echo "FAIL sample logs"; exit 1; }
key=$(p "$work/reader.key")

check "logcat --help exits 0" 0 "$(run "$logcat" --help)"
check "logcat --version exits 0" 0 "$(run "$logcat" --version)"
check "logcat --version names it" 1 "$(grep -cE '^corvane-logcat [0-9]+(\.[0-9]+)+\s*$' "$work/out")"
check "logcat without a file exits 2" 2 "$(run "$logcat" --key "$key")"
check "logcat with a bad level exits 2" 2 "$(run "$logcat" --min-level LOUD "$(p "$work/text.log")")"

check "text log exits 0" 0 "$(run "$logcat" --key "$key" "$(p "$work/text.log")")"
check "text log gives every record" "" "$(diff "$work/expected.txt" "$work/out")"
check "plain text log needs no key" 0 "$(run "$logcat" "$(p "$work/plain.log")")"
check "plain text log gives every record" "" "$(diff "$work/expected.txt" "$work/out")"

# Closed by its writer, the memory log holds its newest record whole.
for f in memory.log memory.dump; do
  check "$f exits 0" 0 "$(run "$logcat" --key "$key" "$(p "$work/$f")")"
  check "$f gives every record oldest first, each whole" "" "$(diff "$work/expected.txt" "$work/out")"
  check "$f says nothing of a newest record that may lack bytes" 0 "$(grep -c 'may lack' "$work/err")"
done

check "--min-level ERROR exits 0" 0 "$(run "$logcat" --key "$key" --min-level ERROR "$(p "$work/text.log")")"
check "--min-level ERROR keeps only errors" "$(grep -c '\]\[ERROR\]\[' "$work/expected.txt")" \
  "$(grep -c '\]\[ERROR\]\[' "$work/out")"
check "--min-level ERROR drops the rest" 0 "$(grep -vc '\]\[ERROR\]\[' "$work/out")"

check "--json exits 0" 0 "$(run "$logcat" --key "$key" --json "$(p "$work/text.log")")"
check "--json one object per record" 3000 "$(grep -c '^{"file":"sample.cc","level":"[A-Z]*","line":[0-9]*,"message":"record [0-9]* value=[0-9]*#*","thread":[0-9]*,"time":"2026-01-02 [0-9:.]*"}$' "$work/out")"

for f in text.log memory.log; do
  check "$f under a wrong key exits 1" 1 "$(run "$logcat" --key "$(p "$work/other.key")" "$(p "$work/$f")")"
  check "$f under a wrong key prints nothing" 0 "$(wc -c <"$work/out")"
  check "$f under a wrong key says so" 1 "$(grep -c 'wrong key' "$work/err")"
done
check "enciphered log without a key exits 1" 1 "$(run "$logcat" "$(p "$work/text.log")")"

# A whole log, read to its end, that holds the logger's record of lines it could not write:
# records are missing, which exit code 1 and one line say.
check "a whole log with a loss record exits 1" 1 "$(run "$logcat" --key "$key" "$(p "$work/loss.log")")"
check "a whole log with a loss record prints its records" 3 "$(wc -l <"$work/out")"
check "a whole log with a loss record says that records are missing" \
  "corvane-logcat: $(p "$work/loss.log"): records are missing: 1 record of the program says how many lines it could not write" \
  "$(cat "$work/err")"

size=$(stat -c %s "$work/text.log")
head -c $((size / 2)) "$work/text.log" >"$work/cut.log"
check "cut-short log exits 1" 1 "$(run "$logcat" --key "$key" "$(p "$work/cut.log")")"
check "cut-short log says where it stopped" 1 "$(grep -c "ends at byte $((size / 2))" "$work/err")"
lines=$(wc -l <"$work/out")
check "cut-short log prints what it could read" "" \
  "$(head -n $((lines - 1)) "$work/out" | diff <(head -n $((lines - 1)) "$work/expected.txt") -)"
[ "$lines" -gt 1000 ] || { echo "FAIL cut-short log printed only $lines lines"; failures=$((failures + 1)); }

# Messages are text: spaces are kept, control characters and terminal escapes are shown as
# escapes unless --raw asks for the bytes.
check "plain text log with spaces exits 0" 0 "$(run "$logcat" --raw "$(p "$work/spaces.log")")"
check "spaces of messages are kept" "$(printf '%s\n' "ends with spaces                    " \
  "                insideXXXXXXXXXXXXXXXXx" "last  " | sed 's/X/ /g')" "$(cut -f2- "$work/out")"
check "controls exits 0" 0 "$(run "$logcat" "$(p "$work/controls.log")")"
check "controls are escaped" \
  "$(printf '%s\n' 'red \x1b[31mtext\x1b[0m\x07' 'second\nline\rback \u202etxt.exe' 'csi \u009b2J')" \
  "$(cut -f2- "$work/out")"
check "no escape byte reaches the terminal" 0 "$(tr -d -c '\033\r\a' <"$work/out" | wc -c)"
check "--raw gives the bytes" 0 "$(run "$logcat" --raw "$(p "$work/controls.log")")"
check "--raw keeps the escape bytes" 4 "$(tr -d -c '\033\r\a' <"$work/out" | wc -c)"
check "--json escapes them too" 0 "$(run "$logcat" --json "$(p "$work/controls.log")")"
check "--json has the escape as \\u001b" 2 "$(grep -o '\\u001b' "$work/out" | wc -l)"
check "--json and --raw together are a usage error" 2 "$(run "$logcat" --json --raw "$(p "$work/controls.log")")"

# Files someone made end soon, with exit code 1 and one line on what is wrong, in bounded
# memory and processor time (measured natively; a sanitized build sets a higher memory bound,
# and in CORVANE_TEST_SLOWDOWN how many times the processor time its checks make the work take).
most_kb=${CORVANE_LOGCAT_MOST_KB:-400000}
most_cpu=$((10 * ${CORVANE_TEST_SLOWDOWN:-1}))
hostile() {  # hostile <file> <expected message part>
  local start=$(date +%s%N) rc
  if [ -z "$emulator" ] && [ -x /usr/bin/time ]; then
    rc=$(run /usr/bin/time -f 'peak %M KB\ncpu %U %S' -o "$work/usage" "$logcat" "$(p "$work/$1")")
    check "$1: at most $most_kb KB of memory" yes \
      "$(awk -v most="$most_kb" '/^peak/ { print ($2 < most ? "yes" : "no: " $2 " KB") }' "$work/usage")"
    # Processor time, not the clock's: a bound on the work that a busy machine does not move.
    check "$1: under $most_cpu s of processor time" yes \
      "$(awk -v most="$most_cpu" '/^cpu/ { print ($2 + $3 < most ? "yes" : "no: " $2 + $3 " s") }' \
        "$work/usage")"
  else
    rc=$(run "$logcat" "$(p "$work/$1")")
  fi
  echo "     $1: $((($(date +%s%N) - start) / 1000000)) ms"
  check "$1 exits 1" 1 "$rc"
  check "$1 says why" 1 "$(grep -c "$2" "$work/err")"
  # At most 20 damaged places one by one, a line for the rest, and why reading stopped.
  check "$1: at most 22 lines on standard error" yes \
    "$(awk 'END { print (NR <= 22 ? "yes" : "no: " NR " lines") }' "$work/err")"
}
hostile bomb.log "the text passes 64 MiB"
hostile random.bin "is no Corvane log"
hostile random.log "the compressed data cannot be inflated"
hostile heads.log "without its trailer"
# 200,000 empty segments, each followed by one stray byte: reading goes past each place once.
hostile damages.log "unexpected bytes after a segment trailer at byte 32599999 after 0 records"
check "damages.log: the first 20 places one by one" 20 "$(grep -c ': damaged at byte' "$work/err")"
check "damages.log: one line for the rest and where they lie" 1 \
  "$(grep -c ': 399978 more damaged places from byte 1780 to byte 32599837, not listed one by one$' "$work/err")"

printf 'just some text, no log at all\n' >"$work/nolog.txt"
check "no log exits 1" 1 "$(run "$logcat" "$(p "$work/nolog.txt")")"
check "no log says so" 1 "$(grep -c 'is no Corvane log' "$work/err")"
check "missing file exits 1" 1 "$(run "$logcat" "$(p "$work/missing.log")")"
check "a key file with no key exits 1" 1 "$(run "$logcat" --key "$(p "$work/nolog.txt")" "$(p "$work/text.log")")"

# A directory, a pipe or a device where a file is wanted, as the log or as the key: one line
# on what is wrong and exit code 1, never an abort, and nothing read from a device.
bad_path() {  # bad_path <name> <expected reason> <logcat arguments...>
  local name=$1 reason=$2
  shift 2
  check "$name exits 1" 1 "$(run "$logcat" "$@")"
  check "$name: one line on standard error" 1 "$(wc -l <"$work/err")"
  check "$name says why" 1 "$(grep -c "^corvane-logcat: cannot read .*: $reason$" "$work/err")"
}
mkdir -p "$work/a folder"
bad_path "a directory as the log" "it is a directory" "$(p "$work/a folder")"
bad_path "a directory as the key" "it is a directory" --key "$(p "$work/a folder")" \
  "$(p "$work/text.log")"
head -c 100000 /dev/zero >"$work/long.key"
bad_path "a key file far too long" "it is longer than 4096 bytes" --key "$(p "$work/long.key")" \
  "$(p "$work/text.log")"
if [ -z "$emulator" ]; then
  mkfifo "$work/pipe"
  for device in /dev/zero /dev/null "$work/pipe"; do
    bad_path "$device as the log" "it is no regular file (a pipe or a device)" "$device"
    bad_path "$device as the key" "it is no regular file (a pipe or a device)" --key "$device" \
      "$work/text.log"
  done
else
  # Windows' device names: refused like a file that is not there (Wine's C library finds no
  # file by that name), in one line.
  for device in NUL CON; do
    check "$device as the log exits 1" 1 "$(run "$logcat" "$device")"
    check "$device as the log: one line on standard error" 1 "$(wc -l <"$work/err")"
  done
fi

finish
