#!/usr/bin/env bash
# Builds Velmora.exe for 32-bit Windows (the release, build-win32/) and 64-bit Windows (build-win64/),
# reads both executables back, then runs the Windows tests through wine64 and compares the Linux
# MCI layer with Windows' winmm. Needs a display: run it inside tests/desktop_session.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

for bits in 32 64; do
  echo "== Velmora.exe for ${bits}-bit Windows =="
  # The toolchain counts only when the folder is first configured.
  toolchain=()
  [ -f "build-win$bits/CMakeCache.txt" ] ||
    toolchain=(-DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-mingw$bits.cmake")
  cmake -S . -B "build-win$bits" "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "build-win$bits" -j"$jobs"
done

echo "== The executables read back =="
tests/pe_check.sh build-win32/Velmora.exe i386
tests/pe_check.sh build-win64/Velmora.exe x86-64

echo "== The release zip =="
rm -rf build-win32/packages
(cd build-win32 && cpack -G ZIP >/dev/null)
zip=$(ls build-win32/packages/velmora-*.zip)
python3 - "$zip" <<'PY'
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
assert names == ["Velmora.exe"], names
print(sys.argv[1], "holds", names)
PY

echo "== mci_console for Linux =="
cmake -S . -B build-wincheck -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-wincheck -j"$jobs" --target mci_console

# A fresh, quiet Wine prefix for this run: made, then left to settle until its server has gone.
WINEPREFIX=$(mktemp -d /tmp/velmora-wine.XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
/usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1
# The test display has no window manager: Wine must not wait for one (a window leaving the screen
# would stall 2 s waiting to be withdrawn).
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
# Then its server kept up between the test programs, each of which would otherwise start Wine anew.
# Wine's helper services outlive the tests, so they get no terminal of the tests to hold open.
wineserver -p
/usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1

echo "== Windows tests under wine64 =="
ctest --test-dir build-win64 --output-on-failure --timeout 120

echo "== winmm and the Linux MCI layer, command for command =="
tests/mci_differential.sh build-win64/app/mci_console.exe build-wincheck/app/mci_console
