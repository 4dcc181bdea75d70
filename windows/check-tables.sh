#!/usr/bin/env bash
# Checks the export and import tables of the built Vorn_CMU200.dll:
# - it exports, by plain undecorated name, exactly the functions declared with
#   VORN_CMU200_API in the exported interface (every step and the version query);
# - it imports from nothing but the Windows API and the five outside DLLs,
#   and from each outside DLL only what that DLL's .def exports (so a new
#   outside call, such as the supply's viClose, needs its .def line).
#   check-tables.sh Vorn_CMU200.dll include/Vorn_CMU200.h
#
# On a station's own folder: every DLL the library imports from (but the
# Windows API) is in FOLDER and exports, by plain name, every function the
# library imports from it.
#   check-tables.sh --station FOLDER Vorn_CMU200.dll
set -euo pipefail
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"

if [ "${1:-}" = "--station" ]; then
  folder="$2"
  dll="$3"
  status=0
  # The import tables: a "DLL Name: X" line, then "hint name" lines per function.
  "$objdump" -p "$dll" | awk '
    /^[[:space:]]*DLL Name:/ { lib = $3; next }
    lib != "" && /^[[:space:]]*$/ { lib = ""; next }
    lib != "" && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ && NF >= 3 { print lib, $3 }' > "${TMPDIR:-/tmp}/imports.$$"
  if ! grep -qviE '^(kernel32|user32|msvcrt)\.dll ' "${TMPDIR:-/tmp}/imports.$$"; then
    echo "no imports of the equipment or the container read from $dll"; rm -f "${TMPDIR:-/tmp}/imports.$$"; exit 1
  fi
  while read -r lib; do
    case "${lib,,}" in kernel32.dll|user32.dll|msvcrt.dll) continue ;; esac
    file="$(find "$folder" -maxdepth 1 -iname "$lib" | head -n 1)"
    if [ -z "$file" ]; then echo "$lib: not in $folder"; status=1; continue; fi
    exported="$("$objdump" -p "$file" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
      sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p')"
    missing=0
    while read -r name; do
      grep -qxF "$name" <<<"$exported" || { echo "$lib does not export $name"; missing=$((missing + 1)); }
    done < <(awk -v l="$lib" '$1 == l { print $2 }' "${TMPDIR:-/tmp}/imports.$$")
    [ $missing = 0 ] || status=1
    echo "$lib: $(awk -v l="$lib" '$1 == l' "${TMPDIR:-/tmp}/imports.$$" | wc -l) functions imported, $missing missing"
  done < <(awk '{ print $1 }' "${TMPDIR:-/tmp}/imports.$$" | sort -u)
  rm -f "${TMPDIR:-/tmp}/imports.$$"
  exit $status
fi
dll="$1"
header="$2"

table="$("$objdump" -p "$dll")"

declared="$(tr '\n' ' ' < "$header" |
  grep -oE 'VORN_CMU200_API[^;(]*[[:space:]]Vorn_CMU200_[A-Za-z0-9_]+[[:space:]]*\(' |
  grep -oE 'Vorn_CMU200_[A-Za-z0-9_]+' | sort -u)"
# The export name table: "[   n] Name" lines after "[Ordinal/Name Pointer] Table".
exported="$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$table" |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort -u)"
imported="$(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$table" | sort -u)"

status=0
if [ "$(wc -l <<<"$declared")" -lt 2 ]; then
  echo "no exported functions found in $header"; exit 1
fi
if [ "$exported" != "$declared" ]; then
  echo "the export table differs from the declarations in $(basename "$header"):"
  diff <(echo "$declared") <(echo "$exported") | sed 's/^</  declared, not exported:/; s/^>/  exported, not declared:/' | grep -v '^[0-9]' || true
  status=1
fi
if grep -q '@' <<<"$exported"; then
  echo "decorated export names:"; grep '@' <<<"$exported"; status=1
fi

# The Windows API (msvcrt.dll is the C runtime that ships with Windows) and
# the five outside libraries, by the names a station has them under.
allowed='^(KERNEL32\.dll|USER32\.dll|msvcrt\.dll|AllData\.dll|rscmu200_32\.dll|rscmuk2g_32\.dll|DWDIO\.DLL|VISA32\.dll)$'
while read -r name; do
  if ! grep -qiE "$allowed" <<<"$name"; then
    echo "imports from $name, which a station does not have"; status=1
  fi
done <<<"$imported"

# Each outside DLL's imported names against its .def: objdump lists them under
# "DLL Name: X" as "<vma> <hint> <name>" lines, up to the next blank line.
defdir="$(cd "$(dirname "$0")" && pwd)"
for def in "$defdir"/AllData.def "$defdir"/rscmu200_32.def "$defdir"/rscmuk2g_32.def \
           "$defdir"/DWDIO.def "$defdir"/VISA32.def; do
  dllname="$(sed -n 's/^LIBRARY[[:space:]]*//p' "$def" | tr -d '\r')"
  exports="$(sed -n '/^EXPORTS/,$p' "$def" | sed -n 's/^[[:space:]]*\([A-Za-z_][A-Za-z0-9_]*\).*/\1/p' | grep -v '^EXPORTS$' | sort -u)"
  names="$(awk -v dll="$dllname" 'tolower($0) ~ "dll name: *" tolower(dll) "$" {on=1; next}
           on && /^[[:space:]]*$/ {on=0} on && NF >= 3 && $1 ~ /^[0-9a-f]+$/ {print $3}' <<<"$table" |
           sed 's/@[0-9]*$//' | sort -u)"
  for name in $names; do
    if ! grep -qx "$name" <<<"$exports"; then
      echo "imports $name from $dllname, which $(basename "$def") does not export"; status=1
    fi
  done
done
if ! awk 'tolower($0) ~ /dll name: *visa32\.dll$/ {on=1; next} on && /^[[:space:]]*$/ {on=0} on {print}' <<<"$table" |
     grep -qw viClose; then
  echo "the library does not import viClose from VISA32.dll"; status=1
fi

echo "exports ($(wc -l <<<"$exported")): $(tr '\n' ' ' <<<"$exported")"
echo "imports: $(tr '\n' ' ' <<<"$imported")"
exit $status
