#!/usr/bin/env bash
# Mutation check of the fast tests: applies each change of tests/mutations.txt alone to the
# program's own code, builds, runs `ctest -L unit` and restores the file. A change that builds must
# make a test fail. Prints each survivor and the score; at least 90 % must be caught.
#   tests/mutation_test.sh [BUILD_DIR]      (default build-mutation, configured here)
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-mutation}
unit() {
  cmake --build "$build" -j"$(nproc)" --target velmora_unit_tests velmora_mci_unit_tests mci_console \
    >/dev/null 2>&1 || return 2
  ctest --test-dir "$build" -L unit --timeout 60 >/dev/null 2>&1
}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug >/dev/null && unit || { echo "the tests fail unmutated"; exit 1; }
caught=0 survived=0 unbuilt=0
while IFS='|' read -r file from to; do
  file=$(echo "$file" | xargs) from=${from# } from=${from% } to=${to# } to=${to% }
  cp "$file" "$file.unmutated"
  python3 -c 'import sys; p, a, b = sys.argv[1:]; s = open(p).read(); assert a in s, a
open(p, "w").write(s.replace(a, b, 1))' "$file" "$from" "$to" || { mv "$file.unmutated" "$file"; exit 1; }
  unit
  case $? in
    0) survived=$((survived + 1)) && echo "survived: $file: $from -> $to" ;;
    2) unbuilt=$((unbuilt + 1)) ;;
    *) caught=$((caught + 1)) ;;
  esac
  mv "$file.unmutated" "$file" && touch "$file"  # newer than its mutant's objects
done < <(grep -v -e '^#' -e '^$' tests/mutations.txt)
unit
echo "mutations caught by ctest -L unit: $caught of $((caught + survived)) ($unbuilt did not build)"
[ $((caught * 10)) -ge $(((caught + survived) * 9)) ]
