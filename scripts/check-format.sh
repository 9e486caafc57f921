#!/usr/bin/env bash
# Fails when a C++ file differs from what clang-format makes of it (.clang-format at the top).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
mapfile -t files < <(git ls-files '*.cc' '*.h')
[ ${#files[@]} -gt 0 ] || exit 0
clang-format --dry-run --Werror "${files[@]}"
echo "format: ${#files[@]} files clean"
