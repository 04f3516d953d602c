# SPDX-License-Identifier: GPL-2.0-or-later
# Cross build for 32-bit Windows with Debian's MinGW-w64 (posix thread model: std::thread and std::mutex; winpthreads links statically).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
