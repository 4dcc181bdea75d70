#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine (run as root).
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(cmake make g++ libgtest-dev locales binutils nlohmann-json3-dev pkg-config)
packages+=(libcpp-httplib-dev)  # the operator's web page
packages+=(chromium nodejs)  # the browser checks of the pages (headless, Debian's own Chromium)
command -v npm >/dev/null 2>&1 || packages+=(npm)
packages+=(valgrind)  # the memcheck run of the typical station run
# The results database: SQLite, and a PostgreSQL server the tests start themselves.
packages+=(libsqlite3-dev sqlite3 libpq-dev postgresql)
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

# A comma-decimal locale, so the tests can prove the readers ignore the locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

# The browser checks' one npm package (playwright-core, no browser of its own).
browser_dir="$(cd "$(dirname "$0")/../tests/browser" && pwd)"
if [ ! -d "$browser_dir/node_modules/playwright-core" ]; then
  (cd "$browser_dir" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --silent)
fi
