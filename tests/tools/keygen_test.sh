#!/usr/bin/env bash
# corvane-keygen with the paths it is given: one path for both halves is refused, the private
# file is readable by its owner alone, a symbolic link is never written through, --force
# replaces a pair, and nothing is left behind on any path.
#   keygen_test.sh <corvane-keygen> [emulator]
set -uo pipefail
keygen=$1 emulator=${2:-}

source "$(dirname "${BASH_SOURCE[0]}")/tool_test_lib.sh"

listing() { (cd "$work/keys" && ls -A | grep -v '^\(out\|err\)$' | tr '\n' ' '); }
mkdir "$work/keys"

check "one path for both exits 2" 2 "$(run "$keygen" "$(p "$work/keys/k.key")" "$(p "$work/keys/k.key")")"
check "one path for both says why" 1 "$(grep -c 'two different files' "$work/err")"
check "one path for both writes nothing" "" "$(listing)"
check "one path spelt two ways exits 2" 2 \
  "$(run "$keygen" "$(p "$work/keys/k.key")" "$(p "$work/keys/./sub/../k.key")")"
check "one existing path for both with --force exits 2" 2 \
  "$(touch "$work/keys/old.key"; run "$keygen" --force "$(p "$work/keys/old.key")" "$(p "$work/keys/old.key")")"
check "the existing file is left as it was" 0 "$(stat -c %s "$work/keys/old.key")"
rm -f "$work/keys/old.key"

# A folder where a key goes: one line, exit code 1, nothing written, with --force too.
mkdir "$work/keys/folder.key"
check "a folder is refused" 1 "$(run "$keygen" --force "$(p "$work/keys/folder.key")" "$(p "$work/keys/f.pub")")"
check "a folder: says so" "corvane-keygen: $(p "$work/keys/folder.key"): it is a directory; a key goes to a file" "$(cat "$work/err")"
check "a folder: nothing written" "folder.key " "$(listing)"
rmdir "$work/keys/folder.key"

check "a pair is made" 0 "$(run "$keygen" "$(p "$work/keys/a.key")" "$(p "$work/keys/a.pub")")"
check "the pair and nothing else" "a.key a.pub " "$(listing)"
first_private=$(cat "$work/keys/a.key")
check "--force replaces the pair" 0 \
  "$(run "$keygen" --force "$(p "$work/keys/a.key")" "$(p "$work/keys/a.pub")")"
check "the private key is new" 1 "$([ "$(cat "$work/keys/a.key")" != "$first_private" ] && echo 1)"
check "the printed public key is the new one" "$(cat "$work/keys/a.pub")" "$(cat "$work/out")"
check "still the pair and nothing else" "a.key a.pub " "$(listing)"

if [ -z "$emulator" ]; then
  # Owner-only whatever the umask allows; the public half as the umask makes it.
  (umask 022; run "$keygen" "$work/keys/b.key" "$work/keys/b.pub" >/dev/null)
  check "private file is 0600" 600 "$(stat -c %a "$work/keys/b.key")"
  check "public file follows the umask" 644 "$(stat -c %a "$work/keys/b.pub")"
  check "--force keeps the private file 0600" 600 \
    "$(chmod 644 "$work/keys/b.key"; (umask 000; run "$keygen" --force "$work/keys/b.key" "$work/keys/b.pub" >/dev/null); stat -c %a "$work/keys/b.key")"

  # A dangling link where the private key goes: refused, nothing created at its target.
  ln -s "$work/keys/target.key" "$work/keys/link.key"
  check "a dangling link is refused" 1 "$(run "$keygen" "$work/keys/link.key" "$work/keys/link.pub")"
  check "nothing written through the link" no "$([ -e "$work/keys/target.key" ] && echo yes || echo no)"
  check "the link is left as it was" "$work/keys/target.key" "$(readlink "$work/keys/link.key")"
  check "no public half either" no "$([ -e "$work/keys/link.pub" ] && echo yes || echo no)"

  # With --force the link itself is replaced; the file it points to is not touched.
  echo "victim" >"$work/keys/victim"
  ln -sf "$work/keys/victim" "$work/keys/link.key"
  check "--force over a link exits 0" 0 "$(run "$keygen" --force "$work/keys/link.key" "$work/keys/link.pub")"
  check "the link's target is untouched" victim "$(cat "$work/keys/victim")"
  check "the link became a file" file "$([ -f "$work/keys/link.key" ] && [ ! -L "$work/keys/link.key" ] && echo file)"
  check "that file is 0600" 600 "$(stat -c %a "$work/keys/link.key")"

  # A link to the private file as the public path names the same file.
  touch "$work/keys/c.key"
  ln -s "$work/keys/c.key" "$work/keys/c-link"
  check "a link to the other file exits 2" 2 \
    "$(run "$keygen" --force "$work/keys/c.key" "$work/keys/c-link")"
  check "and writes nothing" 0 "$(stat -c %s "$work/keys/c.key")"

  # A device or a pipe is never replaced, not even with --force (as root, a rename would put a
  # key file where /dev/null was).
  mkfifo "$work/keys/pipe.pub"
  for target in /dev/null "$work/keys/pipe.pub"; do
    check "$target is refused" 1 "$(run "$keygen" --force "$work/keys/e.key" "$target")"
    check "$target: says so" "corvane-keygen: $target: it is not a regular file (a device, a pipe or a socket); a key goes to a file" "$(cat "$work/err")"
  done
  check "/dev/null is still a device" yes "$([ -c /dev/null ] && echo yes)"
  check "no private half from a refused pair" no "$([ -e "$work/keys/e.key" ] && echo yes || echo no)"
  rm -f "$work/keys/pipe.pub"

  # A public half that cannot be written leaves no private half behind.
  check "an unwritable public path exits 1" 1 "$(run "$keygen" "$work/keys/d.key" "$work/keys/none/d.pub")"
  check "no private half is left" no "$([ -e "$work/keys/d.key" ] && echo yes || echo no)"
  check "no staged files are left" "" "$(ls -A "$work/keys" | grep '\.new-')"
fi

finish
