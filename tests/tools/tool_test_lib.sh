# Shared by the tool tests: a work folder, checks that count, and running a program natively or
# under an emulator (Wine). Source it after setting `emulator` (empty natively).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passes=0 failures=0

# Debian's own Python (python3-jsonschema is installed for it): a version manager's shim that
# comes first on the PATH (pyenv's) takes a second or more to start on a busy machine, and
# these tests start Python dozens of times.
python3() { /usr/bin/python3 "$@"; }

check() {  # check <name> <expected> <actual>
  if [ "$2" == "$3" ]; then
    echo "ok   $1"
    passes=$((passes + 1))
  else
    echo "FAIL $1: expected [$2], got [$3]"
    # What the last program run said, which usually tells why.
    if [ -s "$work/err" ]; then sed 's/^/     stderr: /' "$work/err" | head -n 5; fi
    failures=$((failures + 1))
  fi
}

p() {  # a path as the programs see it: under Wine, on its Z: drive
  if [ -n "$emulator" ]; then echo "Z:${1//\//\\}"; else echo "$1"; fi
}

run() {  # run <program> <args...>: stdout to $work/out, stderr to $work/err; prints the exit code
  $emulator "$@" >"$work/out" 2>"$work/err"
  local rc=$?
  # Wine's console may add carriage returns; libgcrypt's random gatherer may add a note.
  sed -i 's/\r$//' "$work/out" "$work/err"
  sed -i '/diskperf/d' "$work/err"
  echo $rc
}

# wait_for_line <file> <regex> <pid>: until the file holds a matching line (true) or the process
# has ended or 60 s have passed (false).
wait_for_line() {
  for _ in $(seq 1 600); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    kill -0 "$3" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

finish() {
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}
