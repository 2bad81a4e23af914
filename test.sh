#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the fast tests, the Linux layer,
# window, dialog and sound on a private desktop (normal and sanitizer builds), the Debian package,
# the fuzzer, the Windows builds read back and tested under Wine, and lint.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install_dependencies.sh test

# Configures a build folder (its toolchain, when given, counts only the first time) and builds it.
# Whatever an earlier ./run.sh left in build/ (it builds the program alone), the tests are built.
build() {
  local folder=$1 && shift
  [ ! -f "$folder/CMakeCache.txt" ] || set -- "${@/-DCMAKE_TOOLCHAIN_FILE=*/}"
  local report
  report=$(cmake -S . -B "$folder" "$@") || { echo "$report" >&2; return 1; }  # why, when it fails
  cmake --build "$folder" -j"$(nproc)"
}
build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
build build-asan -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DBUILD_TESTING=ON
# The 32-bit release cannot run here (no 32-bit Wine): it is built and read back; 64-bit is tested.
build build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
build build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
tests/desktop_session.sh bash -c '
  set -e
  # A run that finds no test fails: a build without its tests must not pass for a tested one.
  echo "== Linux build ==" && ctest --test-dir build --output-on-failure --no-tests=error
  echo "== sanitizer build ==" && ctest --test-dir build-asan --output-on-failure --no-tests=error --label-exclude release
  echo "== Debian package ==" && tests/package_test.sh build
  echo "== fuzzer ==" && tests/fuzz/run_fuzzers.sh 10
  echo "== Windows ==" && tests/wine_tests.sh build
'
echo "== lint ==" && tests/lint.sh build
