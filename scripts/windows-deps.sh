#!/usr/bin/env bash
# SQLite and libpq for the 32-bit Windows build, built with mingw-w64 from
# Debian's own source packages (scripts/debian-source.sh) of the versions the
# Linux build links (libsqlite3-dev, libpq-dev), as static libraries.
# Installed into DEST-DIR/i686-w64-mingw32 (include/, lib/), each library
# once for its version: a later call fetches and compiles nothing. Prints that
# folder, for cmake -DVORN_WINDOWS_DEPS=... (cmake/windows-deps.cmake).
#   scripts/windows-deps.sh DEST-DIR
# Needs tclsh (Debian's tcl) to make SQLite's amalgamation.
set -euo pipefail
. "$(dirname "$0")/debian-source.sh"
mkdir -p "$1"
dest="$(cd "$1" && pwd)"
host=i686-w64-mingw32
prefix="$dest/$host"
cc="$host-gcc-posix"

# One build at a time in a folder.
exec 9>"$dest/.windows-deps.lock"
flock 9

sqlite_source="$(debian_installed source:Package libsqlite3-dev)"
sqlite_version="$(debian_installed source:Version libsqlite3-dev)"
pq_source="$(debian_installed source:Package libpq-dev)"
pq_version="$(debian_installed source:Version libpq-dev)"
# What each library in the prefix was built from.
stamps="$prefix/share/vorn-deps"
built() { [ "$(cat "$stamps/$1" 2>/dev/null)" = "$2" ]; }

# Runs a build step with its output in LOG, shown only if the step fails.
logged() {
  local log="$1"
  shift
  if ! "$@" >>"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "windows-deps: failed: $* (the whole output is in $log)" >&2
    return 1
  fi
}

build_sqlite() {
  local src="$dest/$sqlite_source-$sqlite_version" work="$dest/build/sqlite3" start=$SECONDS
  echo "windows-deps: building SQLite $sqlite_version for $host" >&2
  command -v tclsh >/dev/null || {
    echo "windows-deps: SQLite's amalgamation needs tclsh (bash scripts/install-deps.sh tcl)" >&2
    return 1
  }
  rm -rf "$work"
  mkdir -p "$work"
  # The amalgamation (sqlite3.c, sqlite3.h) is made by this machine's own
  # compiler and tclsh from the patched source tree, then cross-compiled.
  (cd "$work" && logged "$work/build.log" env CC=gcc CFLAGS=-O2 "$src/configure" --disable-tcl --disable-readline)
  logged "$work/build.log" make -C "$work" -j2 sqlite3.c
  # As Debian builds it where it matters to the results database: thread-safe,
  # deleted content overwritten, LIKE never matching a blob, the same limits.
  # No extension loading on a station.
  logged "$work/build.log" "$cc" -O2 -fno-strict-aliasing \
    -DSQLITE_THREADSAFE=1 -DSQLITE_SECURE_DELETE -DSQLITE_LIKE_DOESNT_MATCH_BLOBS \
    -DSQLITE_MAX_VARIABLE_NUMBER=250000 -DSQLITE_MAX_SCHEMA_RETRY=25 -DSQLITE_OMIT_LOAD_EXTENSION \
    -c "$work/sqlite3.c" -o "$work/sqlite3.o"
  mkdir -p "$prefix/include" "$prefix/lib" "$stamps"
  rm -f "$prefix/lib/libsqlite3.a"
  "$host-ar" crs "$prefix/lib/libsqlite3.a" "$work/sqlite3.o"
  cp "$work/sqlite3.h" "$work/sqlite3ext.h" "$prefix/include/"
  echo "$sqlite_version" >"$stamps/sqlite3"
  echo "windows-deps: SQLite built in $((SECONDS - start)) s" >&2
}

build_libpq() {
  local src="$dest/$pq_source-$pq_version" work="$dest/build/libpq" start=$SECONDS
  echo "windows-deps: building libpq $pq_version for $host" >&2
  rm -rf "$work"
  mkdir -p "$work"
  # The client library alone, with what it takes from src/port and src/common;
  # no TLS (no OpenSSL for mingw-w64 in Debian either), no compression.
  (cd "$work" && logged "$work/build.log" "$src/configure" --host="$host" CC="$cc" \
    --without-readline --without-zlib --without-icu --without-openssl --without-gssapi --without-ldap)
  # libpq's objects (not its version resource, nor its DLL) and the two
  # libraries it takes them from, compiled as its own make would.
  local objs members=() o
  objs="$(make -s -C "$work/src/interfaces/libpq" --eval 'vorn-objs: ; @echo $(filter-out win32ver.o,$(OBJS))' vorn-objs)"
  logged "$work/build.log" make -C "$work/src/backend" generated-headers
  logged "$work/build.log" make -C "$work/src/port" -j2 libpgport_shlib.a
  logged "$work/build.log" make -C "$work/src/common" -j2 libpgcommon_shlib.a
  logged "$work/build.log" make -C "$work/src/interfaces/libpq" -j2 $objs
  for o in $objs; do members+=("$work/src/interfaces/libpq/$o"); done
  # One object of them all in which only libpq's API stays global. On Windows
  # libpq brings its own pthread_mutex_lock and kin (over critical sections),
  # which clash with the winpthreads that every program of this build links;
  # its helpers from libpgport would clash likewise.
  awk '/^[A-Za-z_]/ {print "_" $1}' "$src/src/interfaces/libpq/exports.txt" >"$work/api.txt"
  logged "$work/build.log" "$host-ld" -r -o "$work/libpq-all.o" "${members[@]}" \
    "$work/src/common/libpgcommon_shlib.a" "$work/src/port/libpgport_shlib.a"
  logged "$work/build.log" "$host-objcopy" --keep-global-symbols="$work/api.txt" "$work/libpq-all.o" "$work/libpq.o"
  local stray
  stray="$("$host-nm" -g --defined-only "$work/libpq.o" | awk '{print $3}' | grep -vxFf "$work/api.txt" || true)"
  if [ -n "$stray" ]; then
    echo "windows-deps: libpq.o exports more than libpq's API:" $stray >&2
    return 1
  fi
  mkdir -p "$prefix/include" "$prefix/lib" "$stamps"
  rm -f "$prefix/lib/libpq.a"
  "$host-ar" crs "$prefix/lib/libpq.a" "$work/libpq.o"
  cp "$src/src/interfaces/libpq/libpq-fe.h" "$src/src/interfaces/libpq/libpq-events.h" \
    "$src/src/include/postgres_ext.h" "$work/src/include/pg_config_ext.h" "$prefix/include/"
  echo "$pq_version" >"$stamps/libpq"
  echo "windows-deps: libpq built in $((SECONDS - start)) s" >&2
}

need=()
built sqlite3 "$sqlite_version" || need+=("$sqlite_source" "$sqlite_version")
built libpq "$pq_version" || need+=("$pq_source" "$pq_version")
if [ ${#need[@]} -gt 0 ]; then
  start=$SECONDS
  debian_source "$dest" "${need[@]}"
  echo "windows-deps: Debian's sources fetched and unpacked in $((SECONDS - start)) s" >&2
  # (Not "built || build": errexit would not stop a failing build then.)
  if ! built sqlite3 "$sqlite_version"; then build_sqlite; fi
  if ! built libpq "$pq_version"; then build_libpq; fi
  # The sources and the build trees (some 350 MB) are not kept: the prefix
  # is the cache.
  rm -rf "$dest/build" "$dest/$sqlite_source-$sqlite_version" "$dest/$pq_source-$pq_version"
fi
echo "$prefix"
