#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while, seeded from the checked-in
# corpus (new inputs go to a scratch folder, the checked-in corpus stays as it is).
#   tests/fuzz/run_fuzzers.sh [SECONDS_EACH]     # default 10; the README's long run used 600
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-10}

CXX=clang++ cmake -S . -B build-fuzz -DVELMORA_FUZZ=ON -DBUILD_TESTING=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=$(sed -n 's/^foreach(target \(.*\))$/\1/p' tests/fuzz/CMakeLists.txt)
cmake --build build-fuzz --target $targets -j"$(nproc)" >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for target in $targets; do
  name=${target#fuzz_}
  mkdir -p "$scratch/$name"
  log="$scratch/$name.log"
  if ! "build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
      "$scratch/$name" "tests/fuzz/corpus/$name" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "$target: FAILED"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "$target: ${runs:-?} executions in ${seconds} s, clean"
done
