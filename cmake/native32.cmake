# 32-bit Linux build of the portable code with the host g++ (-m32).
# This machine cannot start 32-bit ELF programs itself, so CMake runs them
# (tests, try_run) through qemu-i386. Setting CMAKE_SYSTEM_NAME makes CMake
# treat this as a cross build, which is what enables the emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")

# Look for 32-bit libraries, never the 64-bit ones of the host.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(FIND_LIBRARY_USE_LIB32_PATHS ON)

set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-i386)
