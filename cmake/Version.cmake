# The product's version: one semantic version, the one in project() at the
# top of the tree. It names the shared library (SONAME), the packages, the
# pkg-config and CMake packages, and is printed by `tavelo --version` and
# the Python module's __version__ together with the source revision.
#
# Both are generated into TAVELO_GENERATED_DIR, on the include path of the
# targets that print the version (the host, the Python module).
#   TaveloVersion.h     TAVELO_VERSION "M.m.p" and its three numbers
#                       (installed with the public headers)
#   tavelo_revision.h   declares tavelo_revision[], defined by tavelo_revision.c
#                       (TAVELO_REVISION_SOURCE, added to the programs that
#                       print it): `git describe` of the sources at build
#                       time, else the REVISION file of a source archive,
#                       else "unknown"; rewritten only when it changes, and
#                       alone, so a new commit recompiles one line of C
set(TAVELO_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
# Before 1.0 a minor release may change the interface, so the SONAME holds
# the minor number too: libtavelo.so.0.1; from 1.0 on, the major alone.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(TAVELO_SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
  set(TAVELO_COMPATIBILITY SameMinorVersion)
else()
  set(TAVELO_SOVERSION ${PROJECT_VERSION_MAJOR})
  set(TAVELO_COMPATIBILITY SameMajorVersion)
endif()
file(CONFIGURE OUTPUT ${TAVELO_GENERATED_DIR}/TaveloVersion.h CONTENT [=[
/* The version of the Tavelo engine these headers belong to. */
#ifndef TAVELO_VERSION_H
#define TAVELO_VERSION_H
#define TAVELO_VERSION "@PROJECT_VERSION@"
#define TAVELO_VERSION_MAJOR @PROJECT_VERSION_MAJOR@
#define TAVELO_VERSION_MINOR @PROJECT_VERSION_MINOR@
#define TAVELO_VERSION_PATCH @PROJECT_VERSION_PATCH@
#endif
]=] @ONLY)

file(CONFIGURE OUTPUT ${TAVELO_GENERATED_DIR}/tavelo_revision.h CONTENT [=[
/* The source revision the program was built from (tavelo_revision.c). */
#ifdef __cplusplus
extern "C"
#endif
    const char tavelo_revision[];
]=])
set(TAVELO_REVISION_SOURCE ${TAVELO_GENERATED_DIR}/tavelo_revision.c)
add_custom_target(tavelo_revision
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DOUTPUT=${TAVELO_REVISION_SOURCE}
          -P ${PROJECT_SOURCE_DIR}/cmake/revision.cmake
  BYPRODUCTS ${TAVELO_REVISION_SOURCE}
  COMMENT "" VERBATIM)
