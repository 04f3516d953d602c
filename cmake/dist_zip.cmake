# SPDX-License-Identifier: GPL-2.0-or-later
# The zip a user downloads: the DLL, the settings program for console players, the licence
# and a short text on where the DLL goes and which settings to choose, cut from the README. Named after the project's version, the one
# the DLL's version resource shows.
set(HARDSID_DIST_DIR ${PROJECT_BINARY_DIR}/dist CACHE PATH "Where the zip of the DLL goes")

function(hardsid_dist_zip dll_target)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(windows win32)
    set(bits 32-bit)
  else()
    set(windows win64)
    set(bits 64-bit)
  endif()
  set(zip ${HARDSID_DIST_DIR}/hardsid-${PROJECT_VERSION}-${windows}.zip)
  set(stage ${CMAKE_CURRENT_BINARY_DIR}/dist-${windows})
  set(text_script ${PROJECT_SOURCE_DIR}/cmake/dist_readme.cmake)
  add_custom_command(OUTPUT ${zip}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage} ${HARDSID_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${dll_target}> ${stage}/hardsid.dll
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:hardsid_settings> ${stage}/hardsid-settings.exe
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/LICENSE -DOUT=${stage}/LICENSE.txt -P ${text_script}
    COMMAND ${CMAKE_COMMAND} -DREADME=${PROJECT_SOURCE_DIR}/README.md -DOUT=${stage}/README.txt
            -DVERSION=${PROJECT_VERSION} -DBITS=${bits} -P ${text_script}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${zip}
    COMMAND ${CMAKE_COMMAND} -E chdir ${stage}
            ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip hardsid.dll hardsid-settings.exe LICENSE.txt README.txt
    DEPENDS ${dll_target} $<TARGET_FILE:${dll_target}> hardsid_settings $<TARGET_FILE:hardsid_settings>
            ${PROJECT_SOURCE_DIR}/LICENSE
            ${PROJECT_SOURCE_DIR}/README.md ${text_script}
    COMMENT "Packing ${zip}"
    VERBATIM)
  add_custom_target(${dll_target}_zip ALL DEPENDS ${zip})
  set_property(TARGET ${dll_target}_zip PROPERTY HARDSID_ZIP ${zip})
endfunction()
