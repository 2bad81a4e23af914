#!/usr/bin/env bash
# memcheck on the play/stop path: the program's window code driving the real Linux sequencer layer
# through open, play, stop and close, with sound going to the private sound server.
#   tests/valgrind_play_stop.sh BUILD_DIR    (inside tests/desktop_session.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?build folder}
valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
  --show-leak-kinds=definite -q \
  "$build/tests/velmora_posix_sequencer_tests" \
  --gtest_filter='RealLayerTest.*:RealSound.*:FluidMciTest.OpenPlay*:FluidMciTest.CloseStops*'
echo "valgrind memcheck: play/stop path clean"
