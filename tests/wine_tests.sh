#!/usr/bin/env bash
# Velmora.exe read back from both Windows builds and the release zip, then the Windows tests under
# wine64 in a fresh prefix, and Wine's winmm compared with the Linux MCI layer command for command.
#   tests/wine_tests.sh LINUX_BUILD    (inside tests/desktop_session.sh, build-win32 and -win64 built)
set -euo pipefail
cd "$(dirname "$0")/.."
tests/pe_check.sh build-win32/Velmora.exe i386
tests/pe_check.sh build-win64/Velmora.exe x86-64
rm -rf build-win32/packages && (cd build-win32 && cpack -G ZIP >/dev/null)
[ "$(unzip -Z1 build-win32/packages/velmora-*-win32.zip)" = Velmora.exe ] || { echo "FAIL: zip"; exit 1; }

WINEPREFIX=$(mktemp -d /tmp/velmora-wine.XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
log=$WINEPREFIX.log
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX" "$log" "$log.mci"' EXIT
# A step that fails says which one, with what Wine printed while setting up.
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND"; cat "$log"' ERR
wine=/usr/lib/wine/wine64
# One server for the whole run, up before the first program: no program meets a server that is
# shutting down, and Wine's helper services, started with no terminal of the tests to hold open,
# stay up between the test programs instead of starting anew with each.
wineserver -p >>"$log" 2>&1
"$wine" wineboot -i </dev/null >>"$log" 2>&1
# The test display has no window manager: Wine must not wait for one (a window leaving the screen
# would stall 2 s waiting to be withdrawn).
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >>"$log" 2>&1
ctest --test-dir build-win64 --output-on-failure --no-tests=error
# Velmora.exe itself, given a tune under a non-ASCII name as "Open with" gives it, starts into its
# window, opens and plays it (Wine's trace of MCI), closes on Alt+F4 and ends with 0.
tune='Ünïcødé ♫ tune.mid'
cp resources/demo/velmora-demo.mid "$WINEPREFIX/drive_c/$tune"
WINEDEBUG=trace+mci "$wine" build-win64/Velmora.exe "C:\\$tune" 2>"$log.mci" & exe=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Velmora$' | head -n 1) ||
  { echo "FAIL: Velmora.exe showed no window"; exit 1; }
for _ in $(seq 50); do grep -q 'L"play mcitest"' "$log.mci" && break; sleep 0.2; done
grep -q 'L"open C:\\\\.* alias mcitest"' "$log.mci" && grep -q 'L"play mcitest"' "$log.mci" ||
  { echo "FAIL: Velmora.exe FILE did not play it"; grep -a mciSendString "$log.mci" || :; exit 1; }
xdotool sleep 0.5 windowfocus --sync "$window" key alt+F4
timeout 10 tail --pid=$exe -f /dev/null && wait $exe || { echo "FAIL: Velmora.exe did not end"; exit 1; }
tests/mci_layer_test.sh "$1/app/mci_console" differential build-win64/app/mci_console.exe
