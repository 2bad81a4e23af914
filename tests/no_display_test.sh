#!/usr/bin/env bash
# Without a display the program says so on stderr and exits non-zero, before any window.
#   tests/no_display_test.sh PATH_TO_VELMORA
set -u
program=${1:?program}
for display in "" ":4711"; do
  err=$(DISPLAY="$display" timeout 10 "$program" 2>&1 >/dev/null)
  code=$?
  if [ "$code" -eq 0 ] || [ "$code" -eq 124 ]; then
    echo "FAIL: DISPLAY='$display' exited with $code"; exit 1
  fi
  if ! grep -qi "display" <<<"$err"; then
    echo "FAIL: DISPLAY='$display' gave no message about the display: $err"; exit 1
  fi
  echo "DISPLAY='$display': exit $code, \"$err\""
done
