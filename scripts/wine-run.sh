#!/usr/bin/env bash
# Runs one Windows program under 32-bit Wine, quietly, in the build's own
# prefix, and never for longer than VORN_WINE_TIMEOUT seconds (default 600):
# there is no display, so nothing may wait on a window.
#   scripts/wine-run.sh program.exe args...
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/build-win/wine}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win32
unset DISPLAY
exec timeout --kill-after=10 "${VORN_WINE_TIMEOUT:-600}" wine "$@"
