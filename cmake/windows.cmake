# The 32-bit Windows build (cross-built with cmake/mingw-i686.cmake).
#
# - Vorn_CMU200.dll calls the real Windows API and imports the five outside
#   DLLs through import libraries made here from the project's own .def files
#   (windows/*.def), never from vendor files.
# - Each stand-in is compiled once into an object library: its DLL, named as
#   on a station, exports exactly its .def by plain name; the test executable
#   links the same objects directly (see tests/CMakeLists.txt).
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

# vorn_outside_library on Windows: NAME is the object library (what the tests
# link); NAME_dll is the stand-in DLL when the outside library has a .def (the
# Windows API has none: the station's own kernel32 and user32 answer).
function(vorn_windows_outside_library name)
  add_library(${name} OBJECT ${ARGN})
  target_link_libraries(${name} PUBLIC vorn_station)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  set_property(GLOBAL APPEND PROPERTY VORN_TEST_STANDINS ${name})
  if(EXISTS ${VORN_DEF_DIR}/${name}.def)
    add_library(${name}_dll SHARED $<TARGET_OBJECTS:${name}> ${VORN_DEF_DIR}/${name}.def)
    set_target_properties(${name}_dll PROPERTIES OUTPUT_NAME ${name} PREFIX ""
                          IMPORT_PREFIX "lib" IMPORT_SUFFIX "_standin.a")
    if(name STREQUAL "DWDIO")
      set_target_properties(${name}_dll PROPERTIES SUFFIX ".DLL")
    endif()
    target_link_libraries(${name}_dll PRIVATE vorn_station ws2_32)
    target_link_options(${name}_dll PRIVATE -Wl,--kill-at)
    set_property(GLOBAL APPEND PROPERTY VORN_STANDIN_DLLS ${name}_dll)
  endif()
endfunction()

# The library's DLL: its exports are windows/Vorn_CMU200.def by plain name.
function(vorn_windows_library target)
  # The stand-ins and the tests reach the station's C++ insides in its DLL:
  # it exports all of its own symbols, none of the runtime linked into it.
  target_link_options(vorn_station PRIVATE -Wl,--export-all-symbols
    -Wl,--exclude-libs,libgcc.a:libgcc_eh.a:libstdc++.a:libwinpthread.a:libmingwex.a)
  target_sources(${target} PRIVATE ${VORN_DEF_DIR}/Vorn_CMU200.def)
  target_link_libraries(${target} PRIVATE ${VORN_IMPORT_LIBRARIES} kernel32 user32)
  target_link_options(${target} PRIVATE -Wl,--kill-at)
  set_target_properties(${target} PROPERTIES PREFIX "" IMPORT_PREFIX "")
  # Every stand-in DLL lands beside it, so a host runs it as on a station.
  get_property(dlls GLOBAL PROPERTY VORN_STANDIN_DLLS)
  if(dlls)
    add_dependencies(${target} ${dlls})
  endif()
endfunction()
