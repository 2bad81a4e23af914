#!/usr/bin/env bash
# Reads a built Velmora.exe back: machine, GUI subsystem, the DLLs it imports (Windows' own only),
# no debug sections, and its resources: the icon, the version record and the application manifest.
#   tests/pe_check.sh EXE MACHINE      (MACHINE: i386 or x86-64)
set -euo pipefail
exe=$1 machine=$2
here=$(dirname "$0")
fail() { echo "FAIL: $exe: $*"; exit 1; }
objdump() { "$([ "$machine" = i386 ] && echo i686 || echo x86_64)-w64-mingw32-objdump" "$@" "$exe"; }
resource() { wrestool -x --raw --type="$1" "$exe"; }

headers=$(objdump -f -p -h)
grep -q "file format pei-$machine\$" <<<"$headers" || fail "not a PE file for $machine"
grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || fail "not a GUI program"
imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr '[:upper:]' '[:lower:]' | sort | tr '\n' ' ')
[ "$imports" = "comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll winmm.dll " ] ||
  fail "imports $imports"
! grep -q ' \.debug' <<<"$headers" || fail "carries debug sections"

cmp -s <(resource 3) <(tail -c +23 "$here/../resources/velmora.ico") || fail "not the icon"
[ "$(resource 16 | strings -el | tr '\n' ' ')" = "VS_VERSION_INFO StringFileInfo 040904B0 \
ProductName Velmora InternalName Velmora OriginalFilename Velmora.exe FileVersion 1.00 \
ProductVersion 1.00 VarFileInfo Translation " ] || fail "version strings"
# VS_FIXEDFILEINFO after its signature: file and product version 1.0.0.0.
[[ "$(resource 16 | xxd -p | tr -d '\n')" == *bd04effe0000010000000100000000000000010000000000* ]] ||
  fail "version numbers"

# Windows reads each manifest setting only in its own namespace.
resource 24 | python3 -c '
import sys, xml.etree.ElementTree as ET
root, smi = ET.fromstring(sys.stdin.read()), "{http://schemas.microsoft.com/SMI/%d/WindowsSettings}"
needed = [smi % 2005 + "dpiAware[.=\"true\"]", smi % 2016 + "dpiAwareness[.=\"system\"]",
  smi % 2019 + "activeCodePage[.=\"UTF-8\"]",
  "{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel[@level=\"asInvoker\"][@uiAccess=\"false\"]"
] + ["{urn:schemas-microsoft-com:compatibility.v1}supportedOS[@Id=\"{%s}\"]" % g for g in (
  "35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",  # 7, 8
  "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a")]  # 8.1, 10/11
missing = [path for path in needed if root.find(".//" + path) is None]
controls = "Microsoft.Windows.Common-Controls" in ET.tostring(root, encoding="unicode")
sys.exit(", ".join(missing) + (" Common Controls 6" if controls else "") if missing or controls else 0)
' || fail "manifest"
echo "$exe: $machine GUI program, Windows DLLs only, stripped, icon, version 1.00, manifest: ok"
