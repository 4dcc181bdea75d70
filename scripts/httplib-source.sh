#!/usr/bin/env bash
# The source of Debian's cpp-httplib for the Windows build's operator page:
# the version of the libcpp-httplib-dev the Linux build links, from Debian's
# source package with its patches (scripts/debian-source.sh). Made once;
# prints the folder with httplib.h.
#   scripts/httplib-source.sh DEST-DIR
set -euo pipefail
. "$(dirname "$0")/debian-source.sh"
dest="$1"
version="$(debian_installed source:Version libcpp-httplib-dev)"
dir="$dest/cpp-httplib-$version"
debian_source "$dest" cpp-httplib "$version"
[ -f "$dir/httplib.h" ] || { echo "cpp-httplib $version from Debian's source has no httplib.h (remove the folder to fetch it anew)" >&2; exit 1; }
echo "$dir"
