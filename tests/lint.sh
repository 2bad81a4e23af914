#!/usr/bin/env bash
# The tree is clean under clang-format and clang-tidy (configurations at the repository root).
#   tests/lint.sh BUILD_DIR      # a Linux build folder with compile_commands.json
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?build folder}

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${sources[@]}"
echo "clang-format: ${#sources[@]} files clean"

# clang-tidy reads the Linux build's compile commands: the Windows files are checked by their own
# cross build's warnings instead.
mapfile -t linux_sources < <(git ls-files '*.cpp' | grep -v -E '^(platform/win32|tests|bench)/|win32' )
clang-tidy -p "$build" --quiet "${linux_sources[@]}" 2>/dev/null
echo "clang-tidy: ${#linux_sources[@]} files clean"
