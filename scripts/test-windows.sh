#!/usr/bin/env bash
# The 32-bit Windows build, cross-built with mingw-w64 and tested under Wine:
# Vorn_CMU200.dll and the stand-in DLLs, the check of the DLL's export and
# import tables, the test suite, and the profile reader against Windows' own.
# SQLite and libpq, built for Windows from Debian's sources, are proven under
# Wine against a PostgreSQL server of the script's own. Last, the station
# package (scripts/package-windows.sh), unzipped beside the other-vendor DLLs:
# its sessions, database, reports, server and page.
# Called by scripts/test-all.sh after the Linux build (build/).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
start=$SECONDS

# The cross compilers, 32-bit Wine, GoogleTest's sources and the rest.
bash scripts/install-deps.sh windows
# vorn-host.exe's operator page: cpp-httplib whole, from Debian's source.
httplib="$(bash scripts/httplib-source.sh "$root/build-win/deps")"
# The results database's engines: SQLite and libpq from Debian's sources,
# built for Windows once (scripts/windows-deps.sh).
deps="$(bash scripts/windows-deps.sh "$root/build-win/deps")"

# One Wine prefix for the build, made once (no display: nothing is shown).
export WINEPREFIX="$root/build-win/wine"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "making the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  VORN_WINE_TIMEOUT=300 WINEDEBUG=-all WINEARCH=win32 WINEDLLOVERRIDES="mscoree,mshtml=" \
    DISPLAY= timeout --kill-after=10 300 wineboot --init
  timeout 60 wineserver --wait || true
fi
# Windows are made without a display (Wine's null driver), so that a message
# box opens and waits for its OK as on a station, rather than failing at once.
if ! grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  VORN_WINE_TIMEOUT=60 scripts/wine-run.sh reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
  timeout 60 wineserver --wait || true
fi

if [ -f build-win/CMakeCache.txt ]; then
  cmake -S . -B build-win -DVORN_WINDOWS_HTTPLIB="$httplib" -DVORN_WINDOWS_DEPS="$deps" >/dev/null
else
  cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_WINDOWS_HTTPLIB="$httplib" -DVORN_WINDOWS_DEPS="$deps" >/dev/null
fi
cmake --build build-win -j2
ctest --test-dir build-win --output-on-failure

# SQLite and libpq as built for Windows, under Wine: a database file in WAL
# mode written, read back and checked; a PostgreSQL server of this script's
# own, on a loopback port (Wine's libpq reaches no Unix socket), asked
# SELECT 1; and TLS, which is not built in, refused with libpq's own message.
pg="/tmp/vorn-pg-win-$(echo "$root" | md5sum | cut -c1-10)"
VORN_PG_TCP=1 bash scripts/pg-test-server.sh start "$pg"
trap 'bash scripts/pg-test-server.sh stop "$pg"' EXIT
probe="$root/build-win/deps-probe"
rm -rf "$probe"
mkdir -p "$probe"
VORN_WINE_TIMEOUT=120 scripts/wine-run.sh build-win/bin/deps_probe.exe "Z:${probe//\//\\}\\probe.db" \
  "$(bash scripts/pg-test-server.sh url "$pg")" | tr -d '\r' > "$probe/report.txt" ||
  { cat "$probe/report.txt"; echo "SQLite or libpq built for Windows failed under Wine"; exit 1; }
bash scripts/pg-test-server.sh stop "$pg"
trap - EXIT
. scripts/debian-source.sh
sqlite_version="$(debian_installed Version libsqlite3-dev)"
pq_version="$(debian_installed Version libpq-dev)"
pq_version="${pq_version%%-*}"
if ! diff <(sed -E 's/, server [0-9]+,/, server N,/' "$probe/report.txt") - <<EOF
sqlite ${sqlite_version%%-*}: WAL, the row written and read back, again after reopening: equal, quick_check ok
postgresql: libpq $((${pq_version%%.*} * 10000 + ${pq_version#*.})), server N, SELECT 1 gave 1
tls: sslmode=require refused: sslmode value "require" invalid when SSL support is not compiled in
tls: sslmode=verify-full refused: sslmode value "verify-full" invalid when SSL support is not compiled in
EOF
then
  echo "SQLite or libpq built for Windows: not the versions or answers expected (<: Wine, >: expected)"
  exit 1
fi
cat "$probe/report.txt"

# The profile reader against Windows' own: the probe's answers under Wine
# (kernel32) compared one by one with the Linux stand-in's.
diffdir="$root/build-win/profile-diff"
rm -rf "$diffdir"
mkdir -p "$diffdir/corpus-windows" "$diffdir/corpus-linux"
[ -f build/bin/libvorn_winapi.so ] || cmake --build build -j2 --target vorn_winapi
g++ -std=c++17 -Wall -Wextra -Werror -O1 -I src -I platform tests/profile_diff/probe.cpp \
  -o "$diffdir/probe-linux" -Lbuild/bin -lvorn_winapi -lvorn_station -Wl,-rpath,"$root/build/bin"
VORN_WINE_TIMEOUT=120 scripts/wine-run.sh build-win/bin/profile_probe.exe \
  "Z:${diffdir//\//\\}\\corpus-windows\\" > "$diffdir/windows.txt"
"$diffdir/probe-linux" "$diffdir/corpus-linux/" --compare "$diffdir/windows.txt"

# The typical station run under Wine: vorn-host.exe loads the shipped DLL,
# which calls the real Windows API, beside the stand-in DLLs. In real time:
# the library's waits are kernel32's, which --fast cannot shorten. Its result
# table must be the Linux run's, but for the times.
run="$root/build-win/station-run"
rm -f "$run".sqlite*
VORN_WINE_TIMEOUT=180 scripts/wine-run.sh build-win/bin/vorn-host.exe --quiet \
  --params examples/station.ini --db "$run.sqlite" --json "$run.json" examples/typical.plan > "$run.txt" ||
  { cat "$run.txt"; echo "the typical station run under Wine did not pass"; exit 1; }
if [ -x build/bin/vorn-host ]; then
  build/bin/vorn-host --fast --quiet --no-db --params examples/station.ini examples/typical.plan \
    > "$run-linux.txt"
  results() { tr -d '\r' < "$1" | sed -n '/^ No /,$p' | sed -E 's/ +[0-9]+\.[0-9]+ s$//; s/^(Run: .*\)) in .*/\1/'; }
  if ! diff <(results "$run-linux.txt") <(results "$run.txt"); then
    echo "the station run under Wine differs from the Linux run (<: Linux, >: Wine)"; exit 1
  fi
fi
tail -n 1 "$run.txt"

# The same host on the other-vendor DLLs, from a folder laid out as a
# station's: vorn-host.exe, its AllData.dll and Vorn_CMU200.dll beside the
# equipment DLLs, the stand-ins and the simulated station nowhere near.
station="build-win/other-vendor"
cp build-win/bin/vorn-host.exe build-win/bin/AllData.dll build-win/bin/Vorn_CMU200.dll "$station/"
OBJDUMP=i686-w64-mingw32-objdump bash windows/check-tables.sh --station "$station" "$station/Vorn_CMU200.dll"
VORN_WINE_TIMEOUT=180 bash tests/other_vendor/check-run.sh examples "$station/records" \
  scripts/wine-run.sh "$station/vorn-host.exe"
# Its operator's page, and the library's own prompt said there while the
# station's message box waits for the operator (Debian's headless Chromium).
VORN_STATION="$root/$station" VORN_DOCS_DIR="$root/build-win" node --test tests/browser/station-prompt.test.js

# The station package, unzipped into an empty folder beside the other-vendor
# DLLs: its sessions into SQLite and into a PostgreSQL server restarted
# mid-session, the tools on both sides, the line report and the page.
[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target vorn-host vorn-results >/dev/null
package="$(bash scripts/package-windows.sh build-win)"
bash tests/other_vendor/check-package.sh "$package" "$station" build/bin build-win/package-check
VORN_PACKAGE_DIR="$root/build-win/package-check" node --test tests/browser/station-package.test.js

echo "the Windows build and its tests took $((SECONDS - start)) s"
