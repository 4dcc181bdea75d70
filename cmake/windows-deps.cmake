# SQLite and libpq for the 32-bit Windows build: static libraries built with
# mingw-w64 from Debian's sources by scripts/windows-deps.sh, whose printed
# folder is given as -DVORN_WINDOWS_DEPS=... They are the imported targets
# SQLite::SQLite3 and PostgreSQL::PostgreSQL, as the Linux build's
# find_package(SQLite3) and find_package(PostgreSQL) give them; those calls
# find these libraries here too.
set(VORN_WINDOWS_DEPS "" CACHE PATH "folder of SQLite and libpq built for Windows (scripts/windows-deps.sh)")
if(NOT VORN_WINDOWS_DEPS)
  unset(SQLite3_INCLUDE_DIR CACHE)
  unset(SQLite3_LIBRARY CACHE)
  unset(PostgreSQL_INCLUDE_DIR CACHE)
  unset(PostgreSQL_LIBRARY CACHE)
  return()
endif()

foreach(file include/sqlite3.h lib/libsqlite3.a include/libpq-fe.h lib/libpq.a)
  if(NOT EXISTS ${VORN_WINDOWS_DEPS}/${file})
    message(FATAL_ERROR "VORN_WINDOWS_DEPS: ${VORN_WINDOWS_DEPS} has no ${file} (scripts/windows-deps.sh makes it)")
  endif()
endforeach()
file(READ ${VORN_WINDOWS_DEPS}/share/vorn-deps/sqlite3 VORN_WINDOWS_SQLITE_VERSION)
file(READ ${VORN_WINDOWS_DEPS}/share/vorn-deps/libpq VORN_WINDOWS_LIBPQ_VERSION)
string(STRIP "${VORN_WINDOWS_SQLITE_VERSION}" VORN_WINDOWS_SQLITE_VERSION)
string(STRIP "${VORN_WINDOWS_LIBPQ_VERSION}" VORN_WINDOWS_LIBPQ_VERSION)
message(STATUS "Windows dependencies: SQLite ${VORN_WINDOWS_SQLITE_VERSION}, libpq ${VORN_WINDOWS_LIBPQ_VERSION}")

add_library(SQLite::SQLite3 STATIC IMPORTED GLOBAL)
set_target_properties(SQLite::SQLite3 PROPERTIES
  IMPORTED_LOCATION ${VORN_WINDOWS_DEPS}/lib/libsqlite3.a
  INTERFACE_INCLUDE_DIRECTORIES ${VORN_WINDOWS_DEPS}/include)

# libpq's Windows calls: Winsock, SSPI (secur32), the profile folder
# (shell32) and the user's name and random numbers (advapi32).
add_library(PostgreSQL::PostgreSQL STATIC IMPORTED GLOBAL)
set_target_properties(PostgreSQL::PostgreSQL PROPERTIES
  IMPORTED_LOCATION ${VORN_WINDOWS_DEPS}/lib/libpq.a
  INTERFACE_INCLUDE_DIRECTORIES ${VORN_WINDOWS_DEPS}/include
  INTERFACE_LINK_LIBRARIES "ws2_32;secur32;shell32;advapi32")

# find_package(SQLite3) and find_package(PostgreSQL) take these for found
# (they skip their search when the cache names the files) and keep the
# targets above.
set(SQLite3_INCLUDE_DIR ${VORN_WINDOWS_DEPS}/include CACHE PATH "" FORCE)
set(SQLite3_LIBRARY ${VORN_WINDOWS_DEPS}/lib/libsqlite3.a CACHE FILEPATH "" FORCE)
set(PostgreSQL_INCLUDE_DIR ${VORN_WINDOWS_DEPS}/include CACHE PATH "" FORCE)
set(PostgreSQL_LIBRARY ${VORN_WINDOWS_DEPS}/lib/libpq.a CACHE FILEPATH "" FORCE)
