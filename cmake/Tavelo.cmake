# Packages: one static library per package, built from <dir>/<NAME>_*.cpp (and
# <dir>/<NAME>.cpp). A declared package whose sources do not exist yet is
# skipped, so the tree builds at every step. Tests: tests/<dir>/<NAME>_test*.cpp
# become the executable <NAME>_test, registered with CTest.
#
#   tavelo_package(NAME DEPS <packages...> [PATTERN <glob>] [SOURCES <files>] [LIBS <system libs>]
#                  [TEST_LIBS <libraries only its tests link>])

set_property(GLOBAL PROPERTY TAVELO_PACKAGES "")

function(tavelo_package name)
  cmake_parse_arguments(P "" "PATTERN" "DEPS;SOURCES;LIBS;TEST_LIBS" ${ARGN})
  file(RELATIVE_PATH reldir ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  if(P_PATTERN)
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${P_PATTERN})
  else()
    file(GLOB srcs CONFIGURE_DEPENDS
         ${CMAKE_CURRENT_SOURCE_DIR}/${name}_*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp)
  endif()
  list(APPEND srcs ${P_SOURCES})
  if(NOT srcs)
    return()
  endif()
  add_library(tv_${name} STATIC ${srcs})
  target_link_libraries(tv_${name} PUBLIC ${P_LIBS})
  # The engine's own C++ helpers in the public headers (not exported from the
  # shared library) are visible to the packages and to whatever links them
  # statically: tests, fuzz targets.
  target_compile_definitions(tv_${name} PUBLIC TAVELO_INTERNAL=1)
  set_property(GLOBAL APPEND PROPERTY TAVELO_PACKAGES ${name})
  set_property(GLOBAL PROPERTY TAVELO_DEPS_${name} ${P_DEPS})
  set_property(GLOBAL PROPERTY TAVELO_DIR_${name} ${reldir})
  set_property(GLOBAL PROPERTY TAVELO_TEST_LIBS_${name} ${P_TEST_LIBS})
  set_property(GLOBAL APPEND PROPERTY TAVELO_SYSTEM_LIBS ${P_LIBS})
endfunction()

function(tavelo_finalize)
  get_property(pkgs GLOBAL PROPERTY TAVELO_PACKAGES)
  set(all "")
  set(objs "")
  foreach(p ${pkgs})
    get_property(deps GLOBAL PROPERTY TAVELO_DEPS_${p})
    foreach(d ${deps})
      if(TARGET tv_${d})
        target_link_libraries(tv_${p} PUBLIC tv_${d})
      endif()
    endforeach()
    list(APPEND all tv_${p})
    list(APPEND objs $<TARGET_OBJECTS:tv_${p}>)
  endforeach()

  # The engine: one shared library holding every package.
  add_library(tavelo SHARED ${PROJECT_SOURCE_DIR}/cmake/empty.cpp ${objs})
  get_property(syslibs GLOBAL PROPERTY TAVELO_SYSTEM_LIBS)
  target_link_libraries(tavelo PRIVATE dl ${syslibs})
  # Hidden visibility keeps the engine's own C++ inside; the version script
  # also keeps in the standard library's template code instantiated here.
  target_link_options(tavelo PRIVATE -Wl,--no-undefined
                      -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/tavelo.map)
  set_target_properties(tavelo PROPERTIES LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/tavelo.map)
  set_target_properties(tavelo PROPERTIES OUTPUT_NAME tavelo VERSION ${PROJECT_VERSION} SOVERSION ${TAVELO_SOVERSION})

  # Fuzz targets (clang's libFuzzer): tests/fuzz/<PKG>_<what>_fuzz.cpp,
  # linked with package PKG and what it uses (desc_read_fuzz: host/).
  if(TAVELO_LIBFUZZER)
    file(GLOB fuzzers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
    foreach(src ${fuzzers})
      get_filename_component(name ${src} NAME_WE)
      add_executable(${name} ${src})
      target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
      target_link_options(${name} PRIVATE -fsanitize=fuzzer)
      string(REGEX REPLACE "_.*" "" pkg ${name})
      # Targets named after no package (the host's readers) are completed
      # where their code is.
      if(TARGET tv_${pkg})
        target_link_libraries(${name} PRIVATE tv_${pkg})
      endif()
    endforeach()
  endif()

  # Only the C operations of the public headers leave the library.
  set(headers "")
  foreach(h ${TAVELO_PUBLIC_HEADERS})
    list(APPEND headers ${PROJECT_SOURCE_DIR}/${h})
  endforeach()
  add_test(NAME exports
           COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DLIBRARY=$<TARGET_FILE:tavelo> "-DHEADERS=${headers}"
                   -P ${PROJECT_SOURCE_DIR}/cmake/check_exports.cmake)

  foreach(p ${pkgs})
    get_property(dir GLOBAL PROPERTY TAVELO_DIR_${p})
    file(GLOB tsrcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${dir}/${p}_test*.cpp)
    if(tsrcs)
      add_executable(${p}_test ${tsrcs})
      target_link_libraries(${p}_test PRIVATE tv_${p} tv_testsupport GTest::gtest GTest::gmock)
      # Libraries only the tests use, e.g. big-integer arithmetic as an oracle.
      get_property(tlibs GLOBAL PROPERTY TAVELO_TEST_LIBS_${p})
      foreach(lib ${tlibs})
        find_library(TAVELO_LIB_${lib} ${lib})
        if(TAVELO_LIB_${lib})
          target_link_libraries(${p}_test PRIVATE ${TAVELO_LIB_${lib}})
          string(TOUPPER ${lib} LIBUP)
          target_compile_definitions(${p}_test PRIVATE TAVELO_HAVE_${LIBUP}=1)
        endif()
      endforeach()
      add_test(NAME ${p} COMMAND ${p}_test --gtest_brief=1)
      set_tests_properties(${p} PROPERTIES ENVIRONMENT
        "TAVELO_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/lsan-system.supp")
    endif()
  endforeach()
endfunction()

# Compiles each public header alone, as a C11 and as a C++20 translation unit,
# the way a host or a plug-in outside the engine sees it (without
# TAVELO_INTERNAL). CTest runs one test per header and language:
# header.c.<name> and header.cxx.<name>.
function(tavelo_check_public_headers)
  set(incs "")
  foreach(d ${TAVELO_INCLUDE_DIRS})
    list(APPEND incs -I${d})
  endforeach()
  set(strict -pedantic-errors -Wall -Wextra)
  if(TAVELO_WERROR)
    list(APPEND strict -Werror)
  endif()
  foreach(h ${TAVELO_PUBLIC_HEADERS})
    get_filename_component(name ${h} NAME_WE)
    get_filename_component(file ${h} NAME)
    set(base ${PROJECT_BINARY_DIR}/header_check/${name})
    file(CONFIGURE OUTPUT ${base}.c CONTENT "#include \"${file}\"\n")
    file(CONFIGURE OUTPUT ${base}.cpp CONTENT "#include \"${file}\"\n")
    add_test(NAME header.c.${name}
             COMMAND ${CMAKE_C_COMPILER} -std=c11 ${strict} -Wstrict-prototypes -fsyntax-only ${incs} ${base}.c)
    add_test(NAME header.cxx.${name}
             COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 ${strict} -fsyntax-only ${incs} ${base}.cpp)
  endforeach()
endfunction()
