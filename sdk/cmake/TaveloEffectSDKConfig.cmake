# TaveloEffectSDK: builds effect plug-ins for the Tavelo engine.
#
#   find_package(TaveloEffectSDK REQUIRED)
#   tavelo_add_effect(my_effect SOURCES my_effect.c PIPL my_effect.pipl
#                     [OUTPUT_DIRECTORY <dir>])
#
# builds my_effect.tvx: a shared object with hidden visibility (only the
# entry point the property list names is exported), linked with
# -Wl,--no-undefined because a plug-in never links against the engine, and
# holding its property list, compiled by piplc, in its ".tvrsrc" section.
#
# The property list compiler is taken from TAVELO_PIPLC (a path), from a
# target named piplc in the same build, or from the SDK's bin folder.

# Works from the source tree (sdk/cmake next to sdk/include) and from an
# installation (<prefix>/lib/cmake/TaveloEffectSDK, <prefix>/include/tavelo).
if(EXISTS "${CMAKE_CURRENT_LIST_DIR}/../include/tavelo_effect.h")
  get_filename_component(TAVELO_EFFECT_SDK_INCLUDE_DIR "${CMAKE_CURRENT_LIST_DIR}/../include" ABSOLUTE)
  set(_tv_sdk_bin "")
else()
  get_filename_component(_tv_sdk_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
  set(TAVELO_EFFECT_SDK_INCLUDE_DIR "${_tv_sdk_prefix}/include/tavelo")
  set(_tv_sdk_bin "${_tv_sdk_prefix}/bin")
endif()

if(NOT TAVELO_PIPLC AND NOT TARGET piplc)
  find_program(TAVELO_PIPLC piplc HINTS ${_tv_sdk_bin})
  if(NOT TAVELO_PIPLC)
    message(FATAL_ERROR "TaveloEffectSDK: piplc not found (set TAVELO_PIPLC to its path)")
  endif()
endif()

set(TaveloEffectSDK_FOUND TRUE)
# Kept globally, so that every folder of a project can add effects.
set_property(GLOBAL PROPERTY TAVELO_EFFECT_SDK_INCLUDE_DIR "${TAVELO_EFFECT_SDK_INCLUDE_DIR}")
set_property(GLOBAL PROPERTY TAVELO_EFFECT_SDK_PIPLC "${TAVELO_PIPLC}")

function(tavelo_add_effect name)
  cmake_parse_arguments(E "" "PIPL;OUTPUT_DIRECTORY" "SOURCES" ${ARGN})
  if(NOT E_SOURCES OR NOT E_PIPL)
    message(FATAL_ERROR "tavelo_add_effect(${name}): SOURCES and PIPL are required")
  endif()
  get_filename_component(pipl "${E_PIPL}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  set(gen "${CMAKE_CURRENT_BINARY_DIR}/${name}_rsrc.c")
  get_property(include_dir GLOBAL PROPERTY TAVELO_EFFECT_SDK_INCLUDE_DIR)
  get_property(piplc GLOBAL PROPERTY TAVELO_EFFECT_SDK_PIPLC)
  if(piplc)
    set(compiler "${piplc}")
    set(deps "${pipl}")
  else()
    set(compiler "$<TARGET_FILE:piplc>")
    set(deps piplc "${pipl}")
  endif()
  add_custom_command(OUTPUT "${gen}" COMMAND "${compiler}" "${pipl}" -o "${gen}" DEPENDS ${deps}
                     WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}"
                     COMMENT "piplc ${E_PIPL}" VERBATIM)
  add_library(${name} MODULE ${E_SOURCES} "${gen}")
  target_include_directories(${name} PRIVATE "${include_dir}")
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".tvx" POSITION_INDEPENDENT_CODE ON
                        C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_options(${name} PRIVATE -Wl,--no-undefined)
  if(E_OUTPUT_DIRECTORY)
    set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY "${E_OUTPUT_DIRECTORY}")
  endif()
endfunction()
