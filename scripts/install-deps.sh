#!/usr/bin/env bash
# Installs, from Debian's packages (and the npm registry for the browser
# checks' one package), what one part of the work needs (run as root):
#   install-deps.sh build [PACKAGE...]    the library, vorn-host and its tools
#   install-deps.sh test [PACKAGE...]     the build and every Linux test (the default)
#   install-deps.sh windows [PACKAGE...]  the 32-bit Windows build under Wine
# PACKAGE: more Debian packages the caller needs. Quiet and quick when
# everything is already there.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

part=test
case "${1:-}" in build|test|windows) part=$1; shift ;; esac

packages=(cmake make g++ binutils pkg-config nlohmann-json3-dev)
packages+=(libcpp-httplib-dev)           # the operator's web page
packages+=(libsqlite3-dev libpq-dev)     # the results database's clients
case "$part" in
  test)
    packages+=(libgtest-dev locales valgrind python3-jsonschema)
    packages+=(sqlite3 postgresql)       # the tests start their own server
    packages+=(chromium nodejs)          # the browser checks (Debian's headless Chromium)
    command -v npm >/dev/null 2>&1 || packages+=(npm)
    ;;
  windows)
    packages+=(g++-mingw-w64-i686-posix wine wine32:i386 googletest dpkg-dev tcl)
    packages+=(postgresql sqlite3 chromium nodejs zip unzip)  # the station's database, page and package, checked under Wine
    command -v npm >/dev/null 2>&1 || packages+=(npm)
    # Wine's 32-bit half.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386
      apt-get update -qq
    fi
    ;;
esac
missing=()
for p in "${packages[@]}" "$@"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
[ "$part" = build ] && exit 0

# A comma-decimal locale, so the tests can prove the readers ignore the locale.
if [ "$part" = test ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

# The browser checks' one npm package (playwright-core, no browser of its own).
if [ ! -d "$root/tests/browser/node_modules/playwright-core" ]; then
  (cd "$root/tests/browser" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --silent)
fi
