# What an installation holds, relative to its prefix. Every path inside it
# is relative ($ORIGIN run paths, ${pcfiledir}, the CMake packages' own
# place), so an installed tree still works after it is moved or copied:
#
#   bin/tavelo, bin/piplc                     the host; the plug-in property list compiler
#   lib/libtavelo.so.M.m.p                    the engine (SONAME libtavelo.so.<TAVELO_SOVERSION>)
#   lib/tavelo/plug-ins/*.tvx                 the sample effect plug-ins (searched by default)
#   lib/tavelo/formats/*.so                   the format modules (still images, movies) loaded on first use
#   include/tavelo/*.h                        the public headers, TaveloVersion.h, tavelo_effect.h
#   lib/pkgconfig/tavelo.pc                   pkg-config: cflags and libs of the engine
#   lib/cmake/Tavelo/                         find_package(Tavelo): the target Tavelo::tavelo
#   lib/cmake/TaveloEffectSDK/                find_package(TaveloEffectSDK): tavelo_add_effect
#   lib/python3/dist-packages/tavelo/         the Python module
#   share/man/man1/tavelo*.1                  a manual page per command
#   share/bash-completion/completions/tavelo  bash completion
#   share/doc/tavelo/                         README, guides, examples
#
# Components: runtime (program, library, plug-ins, pages, completion), dev
# (headers and packages for programs that call the engine), sdk (effect
# plug-in SDK), python, doc. The Debian package holds them all.
if(TAVELO_FUZZ)
  return()
endif()
include(CMakePackageConfigHelpers)

# ---- The program, the engine and the plug-ins --------------------------------------
set_target_properties(tavelo_host PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
install(TARGETS tavelo_host RUNTIME DESTINATION bin COMPONENT runtime)
# The page `tavelo view` serves.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/host/web/ DESTINATION share/tavelo/web COMPONENT runtime)
target_include_directories(tavelo INTERFACE $<INSTALL_INTERFACE:include/tavelo>)
install(TARGETS tavelo EXPORT TaveloTargets
        LIBRARY DESTINATION lib COMPONENT runtime NAMELINK_COMPONENT dev)
# The engine finds them in tavelo/formats beside its own file.
install(TARGETS ${TAVELO_FORMAT_MODULES} LIBRARY DESTINATION lib/tavelo/formats COMPONENT runtime)

# ---- Headers, pkg-config and the CMake package -------------------------------------
foreach(h ${TAVELO_PUBLIC_HEADERS})
  install(FILES ${PROJECT_SOURCE_DIR}/${h} DESTINATION include/tavelo COMPONENT dev)
endforeach()
install(FILES ${TAVELO_GENERATED_DIR}/TaveloVersion.h DESTINATION include/tavelo COMPONENT dev)

file(CONFIGURE OUTPUT ${TAVELO_GENERATED_DIR}/tavelo.pc CONTENT [=[
prefix=${pcfiledir}/../..
libdir=${prefix}/lib
includedir=${prefix}/include/tavelo

Name: Tavelo
Description: Motion-graphics and compositing engine
Version: @PROJECT_VERSION@
Libs: -L${libdir} -ltavelo
Cflags: -I${includedir}
]=] @ONLY)
install(FILES ${TAVELO_GENERATED_DIR}/tavelo.pc DESTINATION lib/pkgconfig COMPONENT dev)

install(EXPORT TaveloTargets NAMESPACE Tavelo:: DESTINATION lib/cmake/Tavelo COMPONENT dev)
file(CONFIGURE OUTPUT ${TAVELO_GENERATED_DIR}/TaveloConfig.cmake CONTENT [=[
# find_package(Tavelo) gives the imported target Tavelo::tavelo: the engine
# library with its public headers (include/tavelo) on the include path.
include("${CMAKE_CURRENT_LIST_DIR}/TaveloTargets.cmake")
set(Tavelo_VERSION_STRING "@PROJECT_VERSION@")
]=] @ONLY)
write_basic_package_version_file(${TAVELO_GENERATED_DIR}/TaveloConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY ${TAVELO_COMPATIBILITY})
install(FILES ${TAVELO_GENERATED_DIR}/TaveloConfig.cmake ${TAVELO_GENERATED_DIR}/TaveloConfigVersion.cmake
        DESTINATION lib/cmake/Tavelo COMPONENT dev)

# ---- Python -------------------------------------------------------------------------
# Debian's python3 finds modules of /usr in /usr/lib/python3/dist-packages;
# for another prefix, put <prefix>/lib/python3/dist-packages on PYTHONPATH.
if(TARGET tavelo_python)
  set_target_properties(tavelo_python PROPERTIES INSTALL_RPATH "$ORIGIN/../../..")
  install(TARGETS tavelo_python LIBRARY DESTINATION lib/python3/dist-packages/tavelo COMPONENT python)
  install(FILES python/tavelo/__init__.py python/tavelo/__init__.pyi python/tavelo/py.typed
          DESTINATION lib/python3/dist-packages/tavelo COMPONENT python)
endif()

# ---- Manual pages, completion, documents --------------------------------------------
# The pages are written by the program itself (`tavelo _man DIR`) from its
# commands and options, so they always match `--help`. Not in sanitizer
# builds, which are never installed.
if(NOT TAVELO_SANITIZE)
  set(TAVELO_MAN_DIR ${PROJECT_BINARY_DIR}/man)
  add_custom_command(OUTPUT ${TAVELO_MAN_DIR}/tavelo.1
                     COMMAND tavelo_host _man ${TAVELO_MAN_DIR}
                     DEPENDS tavelo_host COMMENT "Writing the manual pages" VERBATIM)
  add_custom_target(tavelo_man ALL DEPENDS ${TAVELO_MAN_DIR}/tavelo.1)
  install(DIRECTORY ${TAVELO_MAN_DIR}/ DESTINATION share/man/man1 COMPONENT runtime FILES_MATCHING PATTERN "*.1")
endif()
install(FILES scripts/tavelo.bash DESTINATION share/bash-completion/completions RENAME tavelo COMPONENT runtime)
install(FILES README.md DESTINATION share/doc/tavelo COMPONENT doc)
install(DIRECTORY docs/ DESTINATION share/doc/tavelo COMPONENT doc FILES_MATCHING PATTERN "*.md")
install(DIRECTORY examples/ DESTINATION share/doc/tavelo/examples COMPONENT doc)
install(DIRECTORY plugins/ DESTINATION share/doc/tavelo/examples/plug-ins COMPONENT doc
        FILES_MATCHING PATTERN "sample_*.c" PATTERN "sample_*.pipl")

# ---- Tests of the installation and of the package -----------------------------------
# Not in sanitizer builds: programs built outside the tree cannot load a
# sanitized engine without the sanitizer's runtime.
if(NOT TAVELO_SANITIZE)
  add_test(NAME install COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/install_test.sh
                                ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
  add_test(NAME package COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/package_test.sh
                                ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
endif()

# ---- The Debian package: `make package` (cpack -G DEB in the build folder) -----------
set(TAVELO_PACKAGE_MAINTAINER "Tavelo maintainers <maintainers@tavelo.invalid>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavelo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TAVELO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "motion-graphics and compositing engine with a command-line host")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tavelo renders motion-graphics projects: compositions of footage, solids and\n"
    "nested compositions with keyframed properties, masks, effects and sound, to\n"
    "stills, movies and sound files. The package holds the tavelo command line,\n"
    "the engine library with its headers, pkg-config and CMake packages, the\n"
    "effect plug-in SDK with sample plug-ins, and the Python module.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Depends from dpkg-shlibdeps over the program, the library, piplc and the
# plug-ins; the engine's own library is found inside the package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
if(TARGET tavelo_python)
  # The module is built for one Python version and needs NumPy at run time.
  find_package(Python3 COMPONENTS Interpreter QUIET)
  set(py ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR})
  math(EXPR next "${Python3_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
      "python3 (>= ${py}), python3 (<< ${Python3_VERSION_MAJOR}.${next}), python3-numpy")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)
include(CPack)
