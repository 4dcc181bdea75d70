#!/usr/bin/env bash
# Checks the export and import tables of the built Vorn_CMU200.dll:
# - it exports, by plain undecorated name, exactly the functions declared with
#   VORN_CMU200_API in the exported interface (every step and the version query);
# - it imports from nothing but the Windows API and the five outside DLLs,
#   and from each outside DLL only what that DLL's .def exports (so a new
#   outside call, such as the supply's viClose, needs its .def line).
#   check-tables.sh Vorn_CMU200.dll include/Vorn_CMU200.h
set -euo pipefail
dll="$1"
header="$2"
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"

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
