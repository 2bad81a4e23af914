#!/usr/bin/env bash
# Builds the libFuzzer target with clang and runs it for a while, seeded from the checked-in corpus
# (new inputs go to a scratch folder, the corpus stays as it is).
#   tests/fuzz/run_fuzzers.sh [SECONDS]     # default 10
set -euo pipefail
cd "$(dirname "$0")/../.."
CXX=clang++ cmake -S . -B build-fuzz -DVELMORA_FUZZ=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target fuzz_mci_layer -j"$(nproc)" >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch" "$scratch.log"' EXIT
build-fuzz/tests/fuzz/fuzz_mci_layer -max_total_time="${1:-10}" -artifact_prefix=build-fuzz/ "$scratch" \
  -print_final_stats=1 tests/fuzz/corpus >"$scratch.log" 2>&1 || { tail -n 40 "$scratch.log"; exit 1; }
echo "fuzz_mci_layer: $(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch.log") runs, clean"
