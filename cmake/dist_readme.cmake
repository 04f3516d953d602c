# SPDX-License-Identifier: GPL-2.0-or-later
# Writes the zip's text files with Windows line ends, so that any editor on Windows shows them.
#   cmake -DIN=LICENSE -DOUT=LICENSE.txt -P dist_readme.cmake
#   cmake -DREADME=README.md -DOUT=README.txt -DVERSION=x.y.z -DBITS=32-bit -P dist_readme.cmake
# The second takes the README's "Using the library" chapter, so the zip says what the README says.
if(DEFINED IN)
  file(READ ${IN} text)
else()
  file(READ ${README} readme)
  string(FIND "${readme}" "\n## Using the library\n" begin)
  if(begin EQUAL -1)
    message(FATAL_ERROR "${README} has no \"## Using the library\" chapter")
  endif()
  math(EXPR begin "${begin} + 1")
  string(SUBSTRING "${readme}" ${begin} -1 chapter)
  # The chapter ends where the next one begins.
  string(FIND "${chapter}" "\n## " end)
  string(SUBSTRING "${chapter}" 0 ${end} chapter)
  string(REGEX REPLACE "^## [^\n]*\n+" "" chapter "${chapter}")
  string(REPLACE "`" "" chapter "${chapter}")
  string(REGEX REPLACE "(^|\n)### " "\\1" chapter "${chapter}")
  set(text "hardsid.dll ${VERSION}, ${BITS}: SID register writes to ASID frames on a MIDI output\n\n")
  string(APPEND text "This hardsid.dll is the ${BITS} build: it serves ${BITS} players.\n\n")
  string(APPEND text "${chapter}\n")
  string(APPEND text "Licence: GPL-2.0-or-later, see LICENSE.txt.\n")
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
