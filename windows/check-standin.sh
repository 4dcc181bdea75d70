#!/usr/bin/env bash
# Holds a stand-in DLL to the project's .def of its outside library:
# - every function of the .def is exported by its plain name;
# - the stand-in's objects define it with the .def's __stdcall decoration
#   (_Name@bytes), so the argument sizes written in the .def are the ones the
#   C prototypes give.
#   check-standin.sh LIBRARY.def LIBRARY.dll stand-in-object...
set -euo pipefail
def="$1"
dll="$2"
shift 2
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"
nm="${NM:-i686-w64-mingw32-nm}"

declared="$(sed -n '/^EXPORTS/,$p' "$def" | sed '1d; s/;.*//; s/[[:space:]]//g; /^$/d')"
exported="$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p')"
defined="$("$nm" --defined-only "$@" | awk '$2 == "T" { print $3 }')"

status=0
while read -r entry; do
  plain="${entry%@*}"
  grep -qxF "$plain" <<<"$exported" || { echo "$(basename "$dll") does not export $plain"; status=1; }
  grep -qxF "_$entry" <<<"$defined" ||
    { echo "the stand-in defines no _$entry (.def: $entry; stand-in: $(grep -E "^_$plain@" <<<"$defined" || echo none))"; status=1; }
done <<<"$declared"
echo "$(basename "$dll"): $(wc -l <<<"$declared") functions of $(basename "$def") checked"
exit $status
