# Shared part of the two Windows toolchains. The including file sets
# ORVEL_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix variants use winpthreads, which gives std::thread and std::mutex.
set(CMAKE_C_COMPILER ${ORVEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVEL_MINGW_TRIPLE}-windres)

# Fully static programs: no libstdc++/libgcc/winpthread DLLs to ship or to
# find under Wine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_FIND_ROOT_PATH /usr/${ORVEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
