# Checks the dynamic symbol table of libtavelo.so: it may hold only the
# engine's exported C operations and data, never C++ (mangled) symbols.
#
#   cmake -DNM=<nm> -DLIBRARY=<libtavelo.so> -DHEADERS=<header;...> -P check_exports.cmake
#
# Every defined dynamic symbol must
#   - not be a C++ name (_Z...),
#   - carry a package prefix (XXX_ or XXXp_, e.g. U_Birth, BEEp_..., EMUL_...,
#     PFp_G_STRs) or be one of the memory manager's toolbox names (the
#     TV_EXPORT names of platform/Memory.h),
#   - be declared TV_EXPORT in one of HEADERS.
# Symbols the sanitizers' instrumentation adds (__odr_asan.<name> beside each
# exported variable, __asan_*, __ubsan_*, __sanitizer_*) are not the
# engine's and are skipped, and so are the bounds of the fuzzers' coverage
# sections (__start___sancov_<name>, __stop___sancov_<name>) and the gcov
# runtime of a coverage build (__gcov_*, mangle_path).
cmake_minimum_required(VERSION 3.25)
foreach(var NM LIBRARY HEADERS)
  if(NOT ${var})
    message(FATAL_ERROR "check_exports: ${var} is not set")
  endif()
endforeach()

# Names declared TV_EXPORT in the headers (the last identifier before "(",
# ";" or "[" on the declaring line).
set(declared "")
set(toolbox "")
foreach(header ${HEADERS})
  file(STRINGS ${header} lines REGEX "^[ ]*TV_EXPORT[ ]")
  foreach(line ${lines})
    if(line MATCHES "##")
      continue()  # a macro that defines operations for a prefix
    endif()
    if(line MATCHES "^[ ]*TV_EXPORT[^(;[]*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)[ ]*[(;[]")
      set(name ${CMAKE_MATCH_1})
      list(APPEND declared ${name})
      if(header MATCHES "/Memory\\.h$")
        list(APPEND toolbox ${name})
      endif()
    endif()
  endforeach()
endforeach()

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE out RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "check_exports: ${NM} failed on ${LIBRARY}: ${err}")
endif()
string(REPLACE "\n" ";" out "${out}")

set(count 0)
set(bad "")
foreach(line ${out})
  # "<address> <type> <name>[@version]"
  if(NOT line MATCHES "^[0-9a-fA-F]* +[A-Za-z] +([^@ ]+)")
    continue()
  endif()
  set(name ${CMAKE_MATCH_1})
  if(name MATCHES "^__(odr_asan|asan|ubsan|sanitizer|gcov)" OR name MATCHES "^__(start|stop)___sancov_"
     OR name STREQUAL "mangle_path")
    continue()
  endif()
  math(EXPR count "${count} + 1")
  if(name MATCHES "^_Z")
    list(APPEND bad "${name} (a C++ symbol)")
  elseif(NOT name MATCHES "^[A-Z][A-Z0-9]*p?_[A-Za-z0-9_]+$" AND NOT name IN_LIST toolbox)
    list(APPEND bad "${name} (no package prefix, not a memory manager name)")
  elseif(NOT name IN_LIST declared)
    list(APPEND bad "${name} (not declared TV_EXPORT in a public header)")
  endif()
endforeach()

if(count EQUAL 0)
  message(FATAL_ERROR "check_exports: ${LIBRARY} exports nothing")
endif()
if(bad)
  list(LENGTH bad nbad)
  list(JOIN bad "\n  " text)
  message(FATAL_ERROR "check_exports: ${nbad} of ${count} exported symbols should not be exported:\n  ${text}")
endif()
message(STATUS "check_exports: ${count} exported symbols, all C operations of the public headers")
