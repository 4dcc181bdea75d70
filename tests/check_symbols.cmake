# Checks the dynamic symbol table of the built library (nm -D).
cmake_policy(VERSION 3.16)
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE defined RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm -D failed on ${LIBRARY}")
endif()
execute_process(COMMAND nm -D --undefined-only ${LIBRARY} OUTPUT_VARIABLE needed)

string(REGEX MATCHALL "[TW] Vorn_CMU200_[A-Za-z]+" exported "${defined}")
list(TRANSFORM exported REPLACE "^[TW] " "")
message(STATUS "exported: ${exported}")
if(NOT "Vorn_CMU200_GetVersion" IN_LIST exported)
  message(FATAL_ERROR "Vorn_CMU200_GetVersion is not exported by plain name")
endif()

# Outside functions must be needed, never defined by the library itself.
foreach(fn GetPrivateProfileIntA GetPrivateProfileStringA Sleep MessageBoxA
           dcGet_ParaFileName dcGet_hMobile dcSet_hMobile
           RSCMU_Init_Base RSCMU_Init_GSM_Sig DWD_set_com_port viOpen viClose)
  if(defined MATCHES "[ \n]${fn}\n")
    message(FATAL_ERROR "the library defines the outside function ${fn}")
  endif()
endforeach()
# The closing calls too: the supply step closes its sessions, a failed link set-up its port.
foreach(fn GetPrivateProfileIntA GetPrivateProfileStringA dcGet_ParaFileName viClose DWD_close_com_port)
  if(NOT needed MATCHES "U ${fn}\n")
    message(FATAL_ERROR "the library does not need ${fn} from outside")
  endif()
endforeach()

# Nothing but the steps and the version query is exported (no C++ symbols).
string(REGEX MATCHALL "\n[0-9a-f]+ [TDBRVW] [^\n]+" all "\n${defined}")
foreach(line ${all})
  string(REGEX REPLACE "^\n[0-9a-f]+ [A-Z] " "" name "${line}")
  if(NOT name MATCHES "^Vorn_CMU200_" AND NOT name MATCHES "^_(init|fini|edata|end|_bss_start)$"
     AND NOT name MATCHES "^__bss_start$")
    message(FATAL_ERROR "unexpected export ${name}")
  endif()
endforeach()
