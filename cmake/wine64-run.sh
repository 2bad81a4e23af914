#!/usr/bin/env bash
# Runs a Windows program under wine64 and returns its exit code. Uses $WINEPREFIX when the caller
# prepared one; otherwise makes a fresh prefix for this one run and removes it afterwards.
set -euo pipefail

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}  # no Mono or Gecko install dialogs
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=$(command -v wine64)

if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d /tmp/velmora-wine.XXXXXX)
  export WINEPREFIX
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
  "$wine64" wineboot -i >/dev/null 2>&1
fi

"$wine64" "$@"
