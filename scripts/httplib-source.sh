#!/usr/bin/env bash
# The source of Debian's cpp-httplib for the Windows build's operator page:
# the version of the libcpp-httplib-dev the Linux build links, fetched from
# this machine's Debian archive by apt (its hashes checked against the signed
# index) and unpacked with its Debian patches. The machine's own apt sources
# and lists are left as they are. Made once; prints the folder with httplib.h.
#   scripts/httplib-source.sh DEST-DIR
set -euo pipefail
dest="$1"
version="$(dpkg-query -W -f='${Version}' libcpp-httplib-dev)"
dir="$dest/cpp-httplib-$version"
if [ ! -f "$dir/httplib.h" ]; then
  work="$dest/apt"
  rm -rf "$work" "$dir"
  mkdir -p "$work/lists/partial" "$work/download"
  # The machine's archives, as source archives (deb822 files and one-line lists).
  for f in /etc/apt/sources.list.d/*.sources; do
    if [ -f "$f" ]; then sed 's/^Types: *deb$/Types: deb-src/' "$f"; echo; fi
  done > "$work/sources.sources"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    if [ -f "$f" ]; then sed -n 's/^deb \(.*\)/deb-src \1/p' "$f"; fi
  done > "$work/sources.list"
  apt=(apt-get -qq -o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=$work"
       -o "Dir::State::Lists=$work/lists" -o "APT::Sandbox::User=root")
  "${apt[@]}" update
  (cd "$work/download" && "${apt[@]}" source --download-only "cpp-httplib=$version") >/dev/null
  dpkg-source -x "$work/download"/cpp-httplib_*.dsc "$dir" >/dev/null 2>&1
  [ -f "$dir/httplib.h" ] || { echo "cpp-httplib $version from Debian's source has no httplib.h"; exit 1; }
  rm -rf "$work" "$dest"/cpp-httplib_*.orig.tar.*  # dpkg-source's link to the upstream tarball
fi
echo "$dir"
