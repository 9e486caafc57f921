#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # native build and tests
  build-essential cmake ninja-build pkg-config clang-format
  libfmt-dev nlohmann-json3-dev zlib1g-dev libgcrypt20-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # the log tools' test measures corvane-logcat's peak memory with GNU time; the drill of a
  # text log through failing writes sets a running process's file-size limit with prlimit
  time util-linux
  # the document schema's test validates with a standard JSON Schema validator
  python3-jsonschema
  # the release package's tests unpack its zips
  unzip
  # libFuzzer targets: clang and its sanitizer and fuzzer runtimes
  clang libclang-rt-14-dev
  # benchmarks only: the peer the log benchmark compares with
  libspdlog-dev
  # the host kit's MSVC import library (llvm-dlltool), and its test's host built for the MSVC
  # ABI (clang above, lld-link)
  llvm lld
  # Windows cross-build (MinGW-w64, posix threads) and its static libraries
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev libgcrypt-mingw-w64-dev libgpg-error-mingw-w64-dev
  # Wine test bed: Wine, a virtual X server, the overlay's font, screenshots, and a
  # compositing manager so that layered windows blend over what lies below them
  wine64 wine xvfb x11-utils fonts-wqy-microhei imagemagick xcompmgr
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
