// What the test process holds, for catching growth over many repetitions of
// an operation: GDI and USER objects, private memory, working set and the
// bytes in use in its heaps.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace usage {

struct ObjectCounts {
    DWORD gdi = 0;
    DWORD user = 0;
    // True when the counts come from probing the handle tables because
    // GetGuiResources answered 0 (Wine's is a stub that always does).
    bool probed = false;
};

// GDI objects (pens, brushes, fonts, bitmaps, regions, DCs, palettes, stock
// objects included) and USER objects (windows, menus, icons and cursors,
// accelerator tables) of this process.
ObjectCounts CountObjects();

struct Memory {
    // PROCESS_MEMORY_COUNTERS_EX::PrivateUsage, or PagefileUsage (the same
    // commit charge) where the system fills only the short structure, as
    // Wine does; Wine's PagefileUsage is the process's resident anonymous
    // memory plus its swap.
    uint64_t privateBytes = 0;
    uint64_t workingSet = 0;    // PROCESS_MEMORY_COUNTERS_EX::WorkingSetSize
    uint64_t heapInUse = 0;     // bytes of the busy blocks of every heap of the process
};

Memory MeasureMemory();

// Kernel handles of this process (files, events, registry keys, threads, ...),
// counted by probing where GetProcessHandleCount answers 0 (Wine's does).
DWORD CountKernelHandles();

struct Snapshot {
    ObjectCounts objects;
    DWORD kernelHandles = 0;
    Memory memory;
};

Snapshot Take();

// after - before, negative for shrinking.
inline int64_t Growth(uint64_t before, uint64_t after) {
    return static_cast<int64_t>(after) - static_cast<int64_t>(before);
}

// "GDI 123, USER 45, handles 67, private 12.3 MiB, working set 45.6 MiB, heap in use 1234.5 KiB"
std::string Describe(const Snapshot& snapshot);

}  // namespace usage
