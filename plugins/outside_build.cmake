# Builds sample_invert the way an outside author does: in a folder of its
# own, with only the SDK (header, CMake package and piplc), then has FLT_test
# load and render it.
#   cmake -DSDK_DIR=<sdk/cmake> -DPIPLC=<piplc> -DSAMPLES=<plugins> -DWORK=<dir>
#         -DFLT_TEST=<FLT_test> -P outside_build.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/src")
configure_file("${SAMPLES}/sample_invert.c" "${WORK}/src/invert.c" COPYONLY)
file(READ "${SAMPLES}/sample_invert.pipl" pipl)
string(REPLACE "SMPL Invert" "OUTS Invert" pipl "${pipl}")
file(WRITE "${WORK}/src/invert.pipl" "${pipl}")
file(WRITE "${WORK}/src/CMakeLists.txt" [=[
cmake_minimum_required(VERSION 3.25)
project(OutsideEffect C)
find_package(TaveloEffectSDK 12.0 REQUIRED CONFIG)
tavelo_add_effect(outside_invert SOURCES invert.c PIPL invert.pipl)
]=])
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${WORK}/src" -B "${WORK}/build" -DCMAKE_BUILD_TYPE=Release
                        "-DTaveloEffectSDK_DIR=${SDK_DIR}" "-DTAVELO_PIPLC=${PIPLC}"
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the outside plug-in failed")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK}/build" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS "${WORK}/build/outside_invert.tvx")
  message(FATAL_ERROR "building the outside plug-in failed")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "TAVELO_OUTSIDE_PLUGINS=${WORK}/build"
                        "${FLT_TEST}" --gtest_filter=FLTSamples.OutsideBuildLoadsAndRenders
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR out MATCHES "SKIPPED")
  message(FATAL_ERROR "the outside plug-in did not load and render:\n${out}")
endif()
