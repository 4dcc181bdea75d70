# Debian's own sources for the Windows build's dependencies, sourced by the
# scripts that build them (scripts/httplib-source.sh, scripts/windows-deps.sh)
# and by scripts/test-windows.sh for the versions they follow.
#
#   debian_source DEST PACKAGE VERSION...
#
# Unpacks each source package PACKAGE=VERSION (pairs of arguments) with its
# Debian patches into DEST/PACKAGE-VERSION, unless that folder is there: a
# folder appears only once it is whole. apt fetches the packages from this
# machine's own Debian archives, read as source archives through a private
# sources list and lists in DEST, and checks their hashes against the signed
# index; the machine's own apt sources and lists are left as they are.
# One apt update serves every package of a call.
debian_source() {
  local dest="$1"
  shift
  local wanted=() package version
  while [ $# -ge 2 ]; do
    package="$1" version="$2"
    shift 2
    [ -d "$dest/$package-$version" ] || wanted+=("$package=$version")
  done
  if [ $# -ne 0 ]; then
    echo "debian_source: PACKAGE without VERSION: $1" >&2
    return 2
  fi
  [ ${#wanted[@]} -gt 0 ] || return 0

  local work="$dest/apt" f
  rm -rf "$work"
  mkdir -p "$work/lists/partial" "$work/download" "$work/unpack"
  # The machine's archives, as source archives (deb822 files and one-line lists).
  for f in /etc/apt/sources.list.d/*.sources; do
    if [ -f "$f" ]; then sed 's/^Types: *deb$/Types: deb-src/' "$f"; echo; fi
  done > "$work/sources.sources"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    if [ -f "$f" ]; then sed -n 's/^deb \(.*\)/deb-src \1/p' "$f"; fi
  done > "$work/sources.list"
  local apt=(apt-get -qq -o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=$work"
             -o "Dir::State::Lists=$work/lists" -o "APT::Sandbox::User=root")
  "${apt[@]}" update || return 1
  local item dsc
  for item in "${wanted[@]}"; do
    package="${item%%=*}" version="${item#*=}"
    (cd "$work/download" && "${apt[@]}" source --download-only "$item") >/dev/null || {
      echo "debian_source: apt could not fetch the source of $package $version" >&2
      return 1
    }
    # The .dsc's name carries the version without its epoch.
    dsc="$work/download/${package}_${version#*:}.dsc"
    # Unpacked in the work folder, where dpkg-source also leaves its link to
    # the upstream tarball, and moved into place whole.
    dpkg-source -x "$dsc" "$work/unpack/$package" >/dev/null 2>&1 || {
      echo "debian_source: dpkg-source could not unpack $dsc" >&2
      return 1
    }
    mv "$work/unpack/$package" "$dest/$package-$version"
  done
  rm -rf "$work"
}

#   debian_installed FIELD PACKAGE
#
# dpkg-query's FIELD (Version, source:Package, source:Version) of PACKAGE as
# installed for this machine's own architecture: Wine's i386 packages may
# stand beside it, and a bare name would answer for both.
debian_installed() {
  dpkg-query -W -f="\${$1}" "$2:$(dpkg --print-architecture)"
}
