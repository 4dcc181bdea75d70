# The test suite cross-built for 32-bit Windows and run under Wine.
#
# The executable links the library's code (vorn_core) and every stand-in's
# objects directly, with the simulated station in its DLL, so the tests see
# each outside call in the journal as on Linux. The profile functions are
# kernel32's own. Sleep and MessageBoxA come from the Windows API stand-in:
# its objects are linked ahead of kernel32 and user32, so the waits run on the
# station's virtual clock and the prompts are journalled and acknowledged
# instead of opening a window that nobody can close.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(target gtest gtest_main)
  target_compile_options(${target} PRIVATE -Wno-error)
endforeach()

file(GLOB VORN_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
# Talks to the transport over POSIX sockets of its own; the Winsock transport
# is built, and exercised by the station run, but not by this suite.
list(FILTER VORN_TEST_SOURCES EXCLUDE REGEX "/supply_socket_test\\.cpp$")
# The host runner's tests start vorn-host as a POSIX child process and read
# JSON with the host's nlohmann headers; under Wine the runner is proven by
# the typical station run instead (scripts/test-windows.sh).
list(FILTER VORN_TEST_SOURCES EXCLUDE REGEX "/(host_[^/]*_test|support/host_run)\\.cpp$")
# The operator's page is not in the Windows build (no cpp-httplib for it).
list(FILTER VORN_TEST_SOURCES EXCLUDE REGEX "/web_[^/]*_test\\.cpp$")
# The documents' check takes its facts from the profile stand-in's record of
# the keys read; here the profile functions are kernel32's, which keep none.
list(FILTER VORN_TEST_SOURCES EXCLUDE REGEX "/docs_test\\.cpp$")

add_executable(vorn_tests ${VORN_TEST_SOURCES})
target_include_directories(vorn_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
get_property(standins GLOBAL PROPERTY VORN_TEST_STANDINS)
target_link_libraries(vorn_tests PRIVATE vorn_core ${standins} vorn_station gtest gtest_main
                      ws2_32 kernel32 user32)
target_compile_definitions(vorn_tests PRIVATE
  VORN_LIBRARY_FILE="$<TARGET_FILE:Vorn_CMU200>" VORN_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_dependencies(vorn_tests Vorn_CMU200)
# The runtime (winpthreads) calls kernel32's Sleep through its import pointer,
# which pulls kernel32's stub for Sleep in beside the stand-in's: the first
# definition, the stand-in's (linked ahead), answers the library's direct
# calls, while the runtime keeps sleeping for real through the pointer.
target_link_options(vorn_tests PRIVATE -Wl,--allow-multiple-definition)
# One Wine process for the whole suite (a process per test would cost a Wine
# start-up each); ctest runs it through the cross-compiling emulator.
add_test(NAME wine_tests COMMAND vorn_tests --gtest_brief=1)

# The DLL's export and import tables against the exported interface.
add_test(NAME dll_tables
  COMMAND bash ${PROJECT_SOURCE_DIR}/windows/check-tables.sh $<TARGET_FILE:Vorn_CMU200>
          ${PROJECT_SOURCE_DIR}/include/Vorn_CMU200.h)
set_tests_properties(dll_tables PROPERTIES ENVIRONMENT "OBJDUMP=${CMAKE_OBJDUMP}")

# The profile reader's differential test: this probe reads its corpus through
# kernel32's own profile functions; scripts/test-windows.sh compares the
# answers with the Linux stand-in's (the same probe built for Linux).
add_executable(profile_probe ${CMAKE_CURRENT_SOURCE_DIR}/profile_diff/probe.cpp)
target_include_directories(profile_probe PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(profile_probe PRIVATE kernel32)

# Each stand-in DLL against the .def of its outside library.
get_property(dlls GLOBAL PROPERTY VORN_STANDIN_DLLS)
foreach(dll ${dlls})
  add_test(NAME standin_exports_${dll}
    COMMAND bash ${PROJECT_SOURCE_DIR}/windows/check-standin.sh ${PROJECT_SOURCE_DIR}/windows/${dll}.def
            $<TARGET_FILE:${dll}> $<TARGET_OBJECTS:${dll}_objects>
    COMMAND_EXPAND_LISTS)
  set_tests_properties(standin_exports_${dll} PROPERTIES
    ENVIRONMENT "OBJDUMP=${CMAKE_OBJDUMP};NM=${CMAKE_NM}")
endforeach()

# A host linking the DLL through the import library made from its .def.
add_executable(link_probe ${PROJECT_SOURCE_DIR}/windows/link_probe.c)
target_include_directories(link_probe PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(link_probe PRIVATE ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/libVorn_CMU200.a)
add_dependencies(link_probe Vorn_CMU200)
add_test(NAME dll_import_library COMMAND link_probe)
set_tests_properties(dll_import_library PROPERTIES PASS_REGULAR_EXPRESSION "Vorn_CMU200.dll 1")

# The other-vendor DLLs, each from its library's .def (the script runs
# vorn-host.exe on them from a folder laid out as a station's), and
# vorn-host.exe's imports: its own AllData.dll, not the station's library.
add_subdirectory(${CMAKE_CURRENT_SOURCE_DIR}/other_vendor ${CMAKE_CURRENT_BINARY_DIR}/other_vendor)
foreach(name rscmu200_32 rscmuk2g_32 DWDIO VISA32)
  add_test(NAME other_vendor_exports_${name}
    COMMAND bash ${PROJECT_SOURCE_DIR}/windows/check-standin.sh ${PROJECT_SOURCE_DIR}/windows/${name}.def
            $<TARGET_FILE:other_vendor_${name}> $<TARGET_OBJECTS:other_vendor_${name}>
    COMMAND_EXPAND_LISTS)
  set_tests_properties(other_vendor_exports_${name} PROPERTIES ENVIRONMENT "OBJDUMP=${CMAKE_OBJDUMP};NM=${CMAKE_NM}")
endforeach()
add_test(NAME host_without_station
  COMMAND bash ${PROJECT_SOURCE_DIR}/tests/other_vendor/check-imports.sh $<TARGET_FILE:vorn-host>)
set_tests_properties(host_without_station PROPERTIES ENVIRONMENT "OBJDUMP=${CMAKE_OBJDUMP}")

# SQLite and libpq built for Windows (-DVORN_WINDOWS_DEPS): their probe, found
# as the results database finds them; scripts/test-windows.sh runs it under
# Wine against a PostgreSQL server of its own.
if(VORN_WINDOWS_DEPS)
  find_package(SQLite3 REQUIRED)
  find_package(PostgreSQL REQUIRED)
  add_executable(deps_probe ${CMAKE_CURRENT_SOURCE_DIR}/windows_deps/probe.c)
  target_link_libraries(deps_probe PRIVATE SQLite::SQLite3 PostgreSQL::PostgreSQL pthread)
endif()
