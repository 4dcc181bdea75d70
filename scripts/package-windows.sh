#!/usr/bin/env bash
# The station package: dist/vorn-station-<version>-win32.zip, unzipped into
# the folder of a station's vendor DLLs. It holds vorn-host.exe with the
# results database, AllData.dll, Vorn_CMU200.dll, vorn-report.exe,
# vorn-results.exe, the examples (a plan, a commented parameter file) and
# STATION.txt; nothing of the simulated station. Files lie at the top of the
# zip, so that they land beside the vendor DLLs.
#   package-windows.sh [BUILD-DIR]   (default build-win; configured and built
#                                     with SQLite and libpq when it is not)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
build="${1:-build-win}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac

cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" 2>/dev/null; }
# A build without SQLite and libpq would ship a vorn-host.exe that refuses --db.
if [ -z "$(cached VORN_WINDOWS_DEPS)" ]; then
  bash scripts/install-deps.sh windows
  httplib="$(bash scripts/httplib-source.sh "$build/deps")"
  deps="$(bash scripts/windows-deps.sh "$build/deps")"
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVORN_WINDOWS_HTTPLIB="$httplib" -DVORN_WINDOWS_DEPS="$deps" >/dev/null
fi
if [ "$(cached VORN_RESULTS_DATABASE)" = OFF ]; then
  echo "package-windows: $build is configured with VORN_RESULTS_DATABASE=OFF; a station needs the database" >&2
  exit 2
fi
cmake --build "$build" -j2 --target vorn-host vorn-report vorn-results Vorn_CMU200 AllData >/dev/null

version="$(cached CMAKE_PROJECT_VERSION)"
[ -n "$version" ] || { echo "package-windows: $build names no project version" >&2; exit 1; }
name="vorn-station-$version-win32"
stage="$build/package/$name"
rm -rf "$stage"
mkdir -p "$stage/examples" dist
programs=(vorn-host.exe AllData.dll Vorn_CMU200.dll vorn-report.exe vorn-results.exe)
# Without their debugging sections (a fifth of the size); the build keeps
# them. The same files give the same zip: the commit's time stands for the
# time stamps, in the programs' headers and on every file.
stamp="$(git log -1 --format=%ct 2>/dev/null || date +%s)"
for f in "${programs[@]}"; do
  SOURCE_DATE_EPOCH="$stamp" "${STRIP:-i686-w64-mingw32-strip}" --strip-debug -o "$stage/$f" "$build/bin/$f"
done
cp examples/typical.plan examples/station.ini "$stage/examples/"
# Read in Notepad: Windows' line ends.
sed "s/@VERSION@/$version/g; s/\$/\r/" windows/STATION.txt > "$stage/STATION.txt"

# Every DLL the programs import is Windows' own, the vendor's (the
# library's equipment) or in the package; a database library built as a DLL
# would be taken from the dependencies' bin folder.
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"
deps_bin="$(cached VORN_WINDOWS_DEPS)/bin"
windows_dlls='^(kernel32|user32|advapi32|shell32|ws2_32|secur32|msvcrt|ole32|oleaut32|gdi32|wsock32|crypt32|bcrypt|iphlpapi)\.dll$'
vendor_dlls='^(rscmu200_32|rscmuk2g_32|dwdio|visa32)\.dll$'
for f in "${programs[@]}"; do
  for dll in $("$objdump" -p "$stage/$f" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    lower="$(tr 'A-Z' 'a-z' <<<"$dll")"
    if grep -qE "$windows_dlls" <<<"$lower" || [ -e "$stage/$dll" ]; then continue; fi
    if [ "$f" = Vorn_CMU200.dll ] && grep -qE "$vendor_dlls" <<<"$lower"; then continue; fi
    if [ -f "$deps_bin/$dll" ]; then cp "$deps_bin/$dll" "$stage/"; continue; fi
    echo "package-windows: $f imports $dll, which is neither Windows' nor in the package" >&2
    exit 1
  done
done
# Nothing of the simulation: a stand-in found first would answer in place of
# the station's equipment.
if find "$stage" -type f | grep -iqE '/(vorn_simulation|libvorn_station|vorn_winapi|rscmu200_32|rscmuk2g_32|dwdio|visa32)[^/]*$'; then
  echo "package-windows: a stand-in or the simulation got into the package" >&2
  exit 1
fi

# In name order, without extra attributes.
find "$stage" -exec touch -h -d "@$stamp" {} +
zip_file="$root/dist/$name.zip"
rm -f "$zip_file.new"
(cd "$stage" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | TZ=UTC zip -X -q "$zip_file.new" -@)
mv -f "$zip_file.new" "$zip_file"
echo "dist/$name.zip"
