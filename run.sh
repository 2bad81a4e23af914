#!/usr/bin/env bash
# Installs what is missing, builds Velmora and opens it in the folder of the demo tune, so that
# "Get Mid File" shows something to play.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install_dependencies.sh run
# CMake's progress is shown only when it fails: its last lines (a package not found) say why.
report=$(cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF) ||
  { echo "$report" >&2; exit 1; }
cmake --build build --target velmora -j"$(nproc)"

cd resources/demo
exec ../../build/velmora
