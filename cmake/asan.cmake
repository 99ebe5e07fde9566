# Linux build with clang, AddressSanitizer (leak checking included) and
# UndefinedBehaviorSanitizer. Any report ends the program with an error, so a
# test that triggers one fails. The code is also instrumented for libFuzzer's
# coverage, which lets the same build link the fuzz target (tests/fuzz).
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)

set(ORVEL_SANITIZE ON CACHE BOOL "Build with AddressSanitizer and UndefinedBehaviorSanitizer")

set(orvel_sanitize_flags
    "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -fsanitize=fuzzer-no-link -O1")
set(CMAKE_C_FLAGS_INIT "${orvel_sanitize_flags}")
set(CMAKE_CXX_FLAGS_INIT "${orvel_sanitize_flags}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fsanitize=address,undefined")
