#!/usr/bin/env bash
# Runs tests/mci_differential.commands through Windows' winmm under wine64 and through the Linux MCI
# layer, each by its build of mci_console, and checks that both answer every command with the same
# code, except the lines marked as differing on purpose.
#   tests/mci_differential.sh WINDOWS_MCI_CONSOLE_EXE LINUX_MCI_CONSOLE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
windowsConsole=$1
linuxConsole=$2

folder=$(mktemp -d /tmp/velmora-mci.XXXXXX)
trap 'rm -rf "$folder"' EXIT
mkdir "$folder/with blank"
cp "$here/../resources/demo/velmora-demo.mid" "$folder/velmora-demo.mid"
cp "$here/../resources/demo/velmora-demo.mid" "$folder/with blank/demo tune.mid"
echo "These are notes, not a tune." >"$folder/notes.txt"

# Wine shows the Linux file system as drive Z:.
windowsDir="Z:${folder//\//\\}\\"
grep -v -e '^#' -e '^$' "$here/mci_differential.commands" >"$folder/script"
sed -e 's/^~//' -e "s|@DIR@|${windowsDir//\\/\\\\}|g" -e 's|@SEP@|\\|g' "$folder/script" \
  >"$folder/windows.txt"
sed -e 's/^~//' -e "s|@DIR@|$folder/|g" -e 's|@SEP@|/|g' "$folder/script" >"$folder/linux.txt"

"$here/../cmake/wine64-run.sh" "$windowsConsole" <"$folder/windows.txt" 2>/dev/null | tr -d '\r' \
  >"$folder/windows.out"
"$linuxConsole" <"$folder/linux.txt" 2>/dev/null >"$folder/linux.out"

failures=0
printf '%-8s %-8s %s\n' winmm linux command
while IFS=$'\t' read -r marked windowsCode linuxCode command; do
  verdict=""
  if [ "$windowsCode" != "$linuxCode" ]; then
    if [ "$marked" = "~" ]; then verdict="(differs on purpose)"; else verdict="MISMATCH"; failures=$((failures + 1)); fi
  fi
  printf '%-8s %-8s %s %s\n' "$windowsCode" "$linuxCode" "$command" "$verdict"
done < <(paste <(cut -c1 "$folder/script" | sed 's/[^~]/=/') <(cut -f1 "$folder/windows.out") \
  <(cut -f1 "$folder/linux.out") "$folder/linux.txt")

commands=$(wc -l <"$folder/script")
[ "$(wc -l <"$folder/windows.out")" -eq "$commands" ] || { echo "winmm answered too few"; exit 1; }
[ "$(wc -l <"$folder/linux.out")" -eq "$commands" ] || { echo "the Linux layer answered too few"; exit 1; }
echo "$((commands - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
