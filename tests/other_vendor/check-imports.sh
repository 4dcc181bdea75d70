#!/usr/bin/env bash
# vorn-host (or vorn-host.exe) needs the host's own container and not the
# simulated station's library, nor the simulation: those it loads only when
# it finds the stand-ins.
#   check-imports.sh vorn-host|vorn-host.exe   (OBJDUMP: the mingw objdump)
set -euo pipefail
host="$1"
case "$host" in
  *.exe) needed="$("${OBJDUMP:-i686-w64-mingw32-objdump}" -p "$host" | sed -n 's/^[[:space:]]*DLL Name: //p')" ;;
  *) needed="$(readelf -d "$host" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')" ;;
esac
echo "$(basename "$host") needs:" $needed
if grep -qiE 'vorn_station|vorn_simulation' <<<"$needed"; then
  echo "$(basename "$host") depends on the simulated station"; exit 1
fi
grep -qiE '^(lib)?AllData\.(so|dll)$' <<<"$needed" || { echo "$(basename "$host") does not link its own AllData"; exit 1; }
