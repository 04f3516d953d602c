# SPDX-License-Identifier: GPL-2.0-or-later
# The export table: name, bytes of arguments (what each stdcall entry point removes), ordinal.
# HardSID_Write answers at ordinals 10 and 16; the second is exported without a name.
set(HARDSID_EXPORTS
  "InitHardSID_Mapper 0 1"
  "ReadFromHardSID 8 2"
  "MuteHardSID_Line 4 3"
  "WriteToHardSID 12 4"
  "GetHardSIDCount 0 5"
  "SetDebug 4 6"
  "HardSID_Delay 8 7"
  "HardSID_SoftFlush 4 8"
  "HardSID_Flush 4 9"
  "HardSID_Write 16 10"
  "HardSID_Devices 0 11"
  "HardSID_Filter 8 12"
  "HardSID_Mute 8 13"
  "HardSID_MuteAll 8 14"
  "HardSID_Version 0 15"
  "HardSID_Write 16 16"
  "HardSID_Sync 4 17"
  "HardSID_Read 12 18"
  "HardSID_Reset 4 19"
  "HardSID_Mute2 16 20"
  "HardSID_Reset2 8 21"
  "HardSID_Unlock 4 22"
  "HardSID_Lock 4 23"
  "setCaption 4 24")

# Writes the module-definition file. On i686 each export names its decorated stdcall symbol,
# so a function whose arguments do not add up to the listed bytes fails to link.
function(hardsid_write_def path)
  set(lines "LIBRARY hardsid.dll\nEXPORTS\n")
  set(seen "")
  foreach(entry IN LISTS HARDSID_EXPORTS)
    separate_arguments(parts UNIX_COMMAND "${entry}")
    list(GET parts 0 name)
    list(GET parts 1 bytes)
    list(GET parts 2 ordinal)
    set(symbol "${name}")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(symbol "${name}@${bytes}")
    endif()
    if(name IN_LIST seen)
      string(APPEND lines "  ${name}_${ordinal}=${symbol} @${ordinal} NONAME\n")
    else()
      string(APPEND lines "  ${name}=${symbol} @${ordinal}\n")
      list(APPEND seen ${name})
    endif()
  endforeach()
  # Rewritten only when it changes: a new time stamp would relink the DLL at every configure.
  file(WRITE "${path}.new" "${lines}")
  configure_file("${path}.new" "${path}" COPYONLY)
endfunction()
