#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the program's own code on the
# fake platform, the Linux window under Xvfb and the sequencer through a private PulseAudio (normal
# and sanitizer builds), fuzzers, memcheck, the Debian package, lint, then the Windows builds and
# their tests under Wine.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install_dependencies.sh test

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

tests/desktop_session.sh bash -c '
  set -e
  echo "== Linux build =="
  ctest --test-dir build --output-on-failure
  echo "== Linux build with AddressSanitizer and UndefinedBehaviorSanitizer (soak left out) =="
  ctest --test-dir build-asan --output-on-failure --label-exclude soak
  echo "== memcheck on the play/stop path =="
  tests/valgrind_play_stop.sh build
  echo "== Debian package =="
  tests/package_test.sh build
  echo "== Fuzzers, seeded from the checked-in corpus =="
  tests/fuzz/run_fuzzers.sh 10
  if [ -x tests/windows_builds.sh ]; then
    echo "== Windows builds =="
    tests/windows_builds.sh
  fi
'
echo "== clang-format and clang-tidy =="
tests/lint.sh build
