# SPDX-License-Identifier: GPL-2.0-or-later
# copy_beside(program source_target) puts the file that source_target builds (a DLL, a
# helper program) beside program, and copies it again whenever source_target is rebuilt,
# so that a program never runs against a stale copy.
function(copy_beside program source_target)
  set(copy ${CMAKE_CURRENT_BINARY_DIR}/$<TARGET_FILE_NAME:${source_target}>)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${program}-${source_target}.copied)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${source_target}> ${copy}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${source_target} $<TARGET_FILE:${source_target}>
    VERBATIM)
  add_custom_target(${program}-${source_target}-beside DEPENDS ${stamp})
  add_dependencies(${program} ${program}-${source_target}-beside)
endfunction()
