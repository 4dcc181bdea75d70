#!/usr/bin/env bash
# The 32-bit Windows build, cross-built with mingw-w64 and tested under Wine:
# Vorn_CMU200.dll and the stand-in DLLs, the check of the DLL's export and
# import tables, the test suite, and the profile reader against Windows' own.
# Called by scripts/test-all.sh after the Linux build (build/).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
start=$SECONDS

# The cross compilers, 32-bit Wine and GoogleTest's sources.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  apt-get update -qq
fi
bash scripts/install-deps.sh g++-mingw-w64-i686-posix wine wine32:i386 googletest

# One Wine prefix for the build, made once (no display: nothing is shown).
export WINEPREFIX="$root/build-win/wine"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "making the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  VORN_WINE_TIMEOUT=300 WINEDEBUG=-all WINEARCH=win32 WINEDLLOVERRIDES="mscoree,mshtml=" \
    DISPLAY= timeout --kill-after=10 300 wineboot --init
  timeout 60 wineserver --wait || true
fi

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-win -j2
ctest --test-dir build-win --output-on-failure

echo "the Windows build and its tests took $((SECONDS - start)) s"
