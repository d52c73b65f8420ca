# Writes OUTPUT (a header defining TAVELO_REVISION) from the revision of the
# SOURCE tree: `git describe --tags --always --dirty`; without git or outside
# a checkout, the first line of SOURCE/REVISION; else "unknown". The file is
# left alone when its text would not change.
#   cmake -DSOURCE=<tree> -DOUTPUT=<header> -P revision.cmake
set(revision "")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE}" describe --tags --always --dirty
                  OUTPUT_VARIABLE revision OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE rc ERROR_QUIET)
  if(NOT rc EQUAL 0)
    set(revision "")
  endif()
endif()
if(revision STREQUAL "" AND EXISTS "${SOURCE}/REVISION")
  file(STRINGS "${SOURCE}/REVISION" revision LIMIT_COUNT 1)
endif()
if(revision STREQUAL "")
  set(revision "unknown")
endif()
string(REGEX REPLACE "[\"\\\\]" "" revision "${revision}")
set(text "#define TAVELO_REVISION \"${revision}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
