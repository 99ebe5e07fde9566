// Counts the heap the code under test takes: every malloc, calloc, realloc and operator new
// of the program goes through a counter of the bytes in use, so a test can measure the peak
// that one operation reached above what was in use before it.
//
// The C allocation functions are caught with the linker's --wrap option (see
// tests/CMakeLists.txt) and operator new by replacing it, so this only works in a program
// linked that way. Builds with AddressSanitizer, which has its own allocator and operator
// new, leave it out (ORVEL_COUNT_ALLOCATIONS 0); Counting() then says so.
#pragma once

#include <cstddef>
#include <cstdint>

namespace allocation {

// True when this build counts allocations.
bool Counting();

// Starts a measurement: the peak is reset to the bytes in use now.
void StartMeasuring();
// Bytes in use at the highest point since StartMeasuring, above the bytes in use then.
uint64_t PeakSinceStart();
// The largest single block asked for since StartMeasuring.
uint64_t LargestBlockSinceStart();

}  // namespace allocation
