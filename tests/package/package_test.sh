#!/usr/bin/env bash
# The release package as a host gets it: exactly the files of the layout in the main zip and only
# the debug information in the debug zip, no development private key in either, programs that
# need no DLL beyond the system's own, and in each program the package's version and a debug
# link that finds its file.
# The package's docs are its own: every relative link and path in them leads to a file of the
# unpacked zips.
#   package_test.sh <package dir> <package name> <version> <source dir> <objdump> <objcopy>
#                   <kit built: 0|1> <the reader keys file built in>
set -uo pipefail
package_dir=$1 name=$2 version=$3 source_dir=$4 objdump=$5 objcopy=$6 kit=$7 keys_file=$8
dev_key=0
[ "$(realpath "$keys_file")" = "$(realpath "$source_dir/keys/dev-reader.pub")" ] && dev_key=1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
emulator=""
# shellcheck source=tests/tools/tool_test_lib.sh
source "$here/../tools/tool_test_lib.sh"  # work, check, finish

main_zip=$package_dir/$name.zip debug_zip=$package_dir/$name-debug.zip
entries() { unzip -Z1 "$1" 2>/dev/null | grep -v '/$' | LC_ALL=C sort; }  # files, no folders

expected=(HOST-PROTOCOL.md INTEGRATORS.txt README.md overlay/Corvane.exe
  tools/corvane-feed.exe tools/corvane-inspect.exe tools/corvane-logcat.exe
  tools/corvane-demo-game.exe)
if [ "$kit" = 1 ]; then
  expected+=(kit/bin/corvane_feed.dll kit/include/corvane_feed.h kit/lib/libcorvane_feed.dll.a
    kit/lib/corvane_feed.def kit/lib/corvane_feed.lib kit/examples/sample_host.c)
fi
for schema in "$source_dir"/docs/schema/*.schema.json; do
  [ -e "$schema" ] && expected+=("kit/schema/$(basename "$schema")")
done
check "the main zip holds exactly the release files" \
  "$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)" "$(entries "$main_zip")"
programs=(overlay/Corvane.exe tools/corvane-feed.exe tools/corvane-inspect.exe
  tools/corvane-logcat.exe tools/corvane-demo-game.exe)
[ "$kit" = 1 ] && programs+=(kit/bin/corvane_feed.dll)
# With the development key built in, the debug zip also carries that key's private half (public
# anyway), under a name that says what it is; a build with release keys ships no private key.
dev_key_file=tools/DEVELOPMENT-ONLY-reader.key
check "the debug zip holds only the programs' debug information (and the development key)" \
  "$( (for program in "${programs[@]}"; do echo "${program%.*}.debug"; done
      [ "$dev_key" = 1 ] && echo "$dev_key_file") | LC_ALL=C sort)" \
  "$(entries "$debug_zip")"

unpacked=$work/host
mkdir -p "$unpacked"
unzip -q "$main_zip" -d "$unpacked" && unzip -q "$debug_zip" -d "$unpacked"
check "the host protocol page ships as it stands in docs/" yes \
  "$(cmp -s "$unpacked/HOST-PROTOCOL.md" "$source_dir/docs/host-protocol.md" && echo yes)"
check "the integrators' text points to it" yes \
  "$(grep -q 'in HOST-PROTOCOL.md' "$unpacked/INTEGRATORS.txt" && echo yes)"
check "the README is the package's own, of this version" "# Corvane $version for launcher teams" \
  "$(head -n 1 "$unpacked/README.md")"
# Every relative link and path that the package's docs name (README, HOST-PROTOCOL, INTEGRATORS,
# the kit's header and sample) resolves inside the unpacked zips.
python3 "$here/package_docs.py" "$unpacked" README.md HOST-PROTOCOL.md INTEGRATORS.txt \
  kit/include/corvane_feed.h kit/examples/sample_host.c >"$work/docs.out" 2>&1
check "the package's docs name only files of the package" "" "$(grep -v '^ok ' "$work/docs.out")"
check "the package's docs: paths and links were found" yes \
  "$([ "$(grep -c '^ok ' "$work/docs.out")" -ge 20 ] && echo yes)"
if [ "$dev_key" = 1 ]; then
  check "the development key in the debug zip is the development key" yes \
    "$(cmp -s "$unpacked/$dev_key_file" "$source_dir/keys/dev-reader.key" && echo yes)"
fi

# The development private key, as the text of its file and as the 32 bytes it stands for, in no
# file of the main zip (whatever the file is called), and no key file at all; in the debug zip
# only in the file that says what it is.
check "no key file in the main zip" "" \
  "$(unzip -Z1 "$main_zip" | grep -i '\.key$')"
check "no other file holds the development private key" "" "$(python3 - "$source_dir/keys/dev-reader.key" "$unpacked" "$dev_key_file" <<'PY'
import os, sys
digits = open(sys.argv[1]).read().strip()
needles = [digits.lower().encode(), digits.upper().encode(), bytes.fromhex(digits)]
for folder, _, files in os.walk(sys.argv[2]):
    for file in files:
        path = os.path.relpath(os.path.join(folder, file), sys.argv[2])
        if path == sys.argv[3]:
            continue
        data = open(os.path.join(folder, file), "rb").read()
        if any(needle in data for needle in needles):
            print(path)
PY
)"

# Every program and DLL imports only Windows' own DLLs: a MinGW runtime DLL (libstdc++,
# libgcc_s, libwinpthread) or a library's (zlib, libgcrypt) would be missing on a player's machine.
system_dlls='^(kernel32|user32|gdi32|gdiplus|msvcrt|advapi32|shell32|shlwapi|version|ws2_32|ole32|oleaut32|bcrypt|comctl32|comdlg32|api-ms-win-[a-z0-9-]+)\.dll$'
foreign=""
while IFS= read -r -d '' binary; do
  for dll in $("$objdump" -p "$binary" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    echo "${dll,,}" | grep -Eq "$system_dlls" || foreign+="${binary#"$unpacked"/}: $dll "
  done
done < <(find "$unpacked" \( -iname '*.exe' -o -iname '*.dll' \) -print0)
check "the programs import only system DLLs" "" "$foreign"

# Every shipped program and DLL carries the package's version in its version resource (the
# fixed file information that Windows and Corvane's first log record show).
versioned=(overlay/Corvane.exe tools/corvane-{feed,inspect,logcat,demo-game}.exe)
[ "$kit" = 1 ] && versioned+=(kit/bin/corvane_feed.dll)
check "the programs' file version is the package's" \
  "$(printf "%s $version\n" "${versioned[@]}")" \
  "$(cd "$unpacked" && python3 - "${versioned[@]}" <<'PY'
import struct, sys
for path in sys.argv[1:]:
    data = open(path, "rb").read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))  # the fixed file information's signature
    if at < 0:
        print(path, "none")
        continue
    high, low = struct.unpack_from("<II", data, at + 8)
    print(path, f"{high >> 16}.{high & 0xFFFF}.{low >> 16}.{low & 0xFFFF}")
PY
)"

# The programs carry no debug sections, and each one's debug link names its debug file with that
# file's CRC, so a debugger that finds the file beside the program takes it.
for program in "${programs[@]}"; do
  exe=$unpacked/$program debug=$unpacked/${program%.*}.debug
  check "$program has no debug sections" 0 "$("$objdump" -h "$exe" | grep -c ' \.debug_')"
  rm -f "$work/debuglink"
  "$objcopy" --dump-section .gnu_debuglink="$work/debuglink" "$exe" "$work/exe-copy" 2>/dev/null
  check "$program's debug link names its debug file with its CRC" \
    "$(basename "$debug") match" "$(python3 - "$work/debuglink" "$debug" <<'PY' 2>&1
import struct, sys, zlib
link = open(sys.argv[1], "rb").read()
name = link.split(b"\0", 1)[0].decode()
at = (len(name) + 1 + 3) // 4 * 4  # the name, its terminator, padding to 4 bytes, the CRC
crc, = struct.unpack_from("<I", link, at)
print(name, "match" if crc == zlib.crc32(open(sys.argv[2], "rb").read()) else "differs")
PY
)"
  check "${program%.*}.debug holds the debug information" yes \
    "$("$objdump" -h "$debug" | grep -q ' \.debug_info' && echo yes)"
done

finish
