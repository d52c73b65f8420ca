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
  target_link_options(tavelo PRIVATE -Wl,--no-undefined)
  set_target_properties(tavelo PROPERTIES OUTPUT_NAME tavelo)

  # Fuzz targets (clang's libFuzzer): tests/fuzz/<PKG>_<what>_fuzz.cpp,
  # linked with package PKG and what it uses.
  if(TAVELO_FUZZ)
    file(GLOB fuzzers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
    foreach(src ${fuzzers})
      get_filename_component(name ${src} NAME_WE)
      add_executable(${name} ${src})
      target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
      target_link_options(${name} PRIVATE -fsanitize=fuzzer)
      string(REGEX REPLACE "_.*" "" pkg ${name})
      target_link_libraries(${name} PRIVATE tv_${pkg})
    endforeach()
  endif()

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
      set_tests_properties(${p} PROPERTIES ENVIRONMENT "TAVELO_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
    endif()
  endforeach()
endfunction()
