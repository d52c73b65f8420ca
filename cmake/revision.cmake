# Writes OUTPUT (a C file defining tavelo_revision[]) from the revision of the
# SOURCE tree: `git describe --tags --always --dirty`; without git or outside
# a checkout, the first line of SOURCE/REVISION; else "unknown". The file is
# left alone when its text would not change.
#   cmake -DSOURCE=<tree> -DOUTPUT=<file.c> -P revision.cmake
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
set(text "const char tavelo_revision[] = \"${revision}\";\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
