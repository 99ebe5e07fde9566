# 32-bit Windows build with mingw-w64. Built in every test run, never run:
# this machine has no 32-bit Wine.
set(ORVEL_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
