# The 32-bit Windows build (cross-built with cmake/mingw-i686.cmake).
#
# - Vorn_CMU200.dll calls the real Windows API and imports the five outside
#   DLLs through import libraries made here from the project's own .def files
#   (windows/*.def), never from vendor files.
# - Each stand-in is compiled once into an object library: its DLL is named
#   as on a station, and the test executable links the same objects directly.
set(VORN_DEF_DIR ${PROJECT_SOURCE_DIR}/windows)
set(VORN_IMPORT_DIR ${PROJECT_BINARY_DIR}/imports)
file(MAKE_DIRECTORY ${VORN_IMPORT_DIR})

set(VORN_IMPORT_LIBRARIES "")
foreach(dll AllData rscmu200_32 rscmuk2g_32 DWDIO VISA32)
  set(def ${VORN_DEF_DIR}/${dll}.def)
  set(lib ${VORN_IMPORT_DIR}/lib${dll}.a)
  # -k: the decorated __stdcall symbols the compiler calls bind to the plain
  # names the DLL exports.
  execute_process(COMMAND ${CMAKE_DLLTOOL} -k -d ${def} -l ${lib} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dlltool could not make the import library of ${def}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
  list(APPEND VORN_IMPORT_LIBRARIES ${lib})
endforeach()

# vorn_outside_library on Windows: an outside library with a .def is the
# stand-in DLL NAME, named as on a station, built from the object library
# NAME_objects; the Windows API has none (the station's own kernel32 and user32
# answer), so vorn_winapi is only the object library. The test executable
# links the objects (see tests/windows.cmake).
#
# A stand-in DLL exports its C entry points by plain name (--kill-at) and, as
# on Linux, its own C++ insides for the host runner (the container's
# alldata::SetParameterFile); never the runtime linked into it. The
# standin_exports test holds each DLL to its .def.
set(VORN_NO_RUNTIME_EXPORTS
    -Wl,--exclude-libs,libgcc.a:libgcc_eh.a:libstdc++.a:libwinpthread.a:libpthread.a:libmingwex.a)
function(vorn_windows_outside_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "NO_STATION" "" "")
  set(station vorn_station)
  if(arg_NO_STATION)
    set(station "")
  endif()
  if(NOT EXISTS ${VORN_DEF_DIR}/${name}.def)
    add_library(${name} OBJECT ${arg_UNPARSED_ARGUMENTS})
    set(objects ${name})
  else()
    set(objects ${name}_objects)
    add_library(${objects} OBJECT ${arg_UNPARSED_ARGUMENTS})
    add_library(${name} SHARED $<TARGET_OBJECTS:${objects}>)
    set_target_properties(${name} PROPERTIES PREFIX "" IMPORT_PREFIX "lib"
                          IMPORT_SUFFIX "_standin.a")
    if(name STREQUAL "DWDIO")
      set_target_properties(${name} PROPERTIES SUFFIX ".DLL")
    endif()
    target_link_libraries(${name} PUBLIC ${station} PRIVATE ws2_32)
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/platform)
    target_link_options(${name} PRIVATE -Wl,--kill-at -Wl,--export-all-symbols
                        ${VORN_NO_RUNTIME_EXPORTS})
    set_property(GLOBAL APPEND PROPERTY VORN_STANDIN_DLLS ${name})
  endif()
  target_link_libraries(${objects} PUBLIC ${station})
  target_include_directories(${objects} PRIVATE ${PROJECT_SOURCE_DIR}/src/outside)
  set_property(GLOBAL APPEND PROPERTY VORN_TEST_STANDINS ${objects})
endfunction()

# The library's DLL: its exports are windows/Vorn_CMU200.def by plain name.
function(vorn_windows_library target)
  # The stand-ins and the tests reach the station's C++ insides in its DLL:
  # it exports all of its own symbols, none of the runtime linked into it.
  target_link_options(vorn_station PRIVATE -Wl,--export-all-symbols ${VORN_NO_RUNTIME_EXPORTS})
  target_sources(${target} PRIVATE ${VORN_DEF_DIR}/Vorn_CMU200.def)
  target_link_libraries(${target} PRIVATE ${VORN_IMPORT_LIBRARIES} kernel32 user32)
  target_link_options(${target} PRIVATE -Wl,--kill-at)
  set_target_properties(${target} PROPERTIES PREFIX "" IMPORT_PREFIX "")
  # The import library for a host that links the DLL: from the .def, so that a
  # caller's decorated __stdcall names bind to the plain exports (the linker's
  # own, Vorn_CMU200.dll.a, holds only the plain names).
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_DLLTOOL} -k -d ${VORN_DEF_DIR}/Vorn_CMU200.def
            -l ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/libVorn_CMU200.a
    VERBATIM)
  # Every stand-in DLL lands beside it, so a host runs it as on a station.
  get_property(dlls GLOBAL PROPERTY VORN_STANDIN_DLLS)
  if(dlls)
    add_dependencies(${target} ${dlls})
  endif()
endfunction()

# SQLite and libpq, when built for Windows (-DVORN_WINDOWS_DEPS=...).
include(${CMAKE_CURRENT_LIST_DIR}/windows-deps.cmake)
