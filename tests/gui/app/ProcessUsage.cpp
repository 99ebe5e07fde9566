#include "tests/gui/app/ProcessUsage.h"

#include <psapi.h>

#include <cstdio>
#include <vector>

namespace usage {
namespace {

// Under Wine the GDI handle table and the USER handle table both accept a
// handle given by its table index alone (high word 0), so every live object
// answers when asked by index. GDI indexes run over the low word; USER
// handles are even numbers from 0x20 to 0xFFEF.
constexpr UINT kLastGdiIndex = 0xFFFF;
constexpr UINT kFirstUserHandle = 0x0020;
constexpr UINT kLastUserHandle = 0xFFEF;
// Far above the few hundred kernel handles a test process holds.
constexpr UINT_PTR kLastKernelHandle = 0x4000;

DWORD ProbeGdiObjects() {
    DWORD count = 0;
    for (UINT index = 1; index <= kLastGdiIndex; ++index) {
        if (::GetObjectType(reinterpret_cast<HGDIOBJ>(static_cast<UINT_PTR>(index))) != 0) ++count;
    }
    return count;
}

bool IsOwnWindow(HWND hwnd) {
    DWORD process = 0;
    return ::GetWindowThreadProcessId(hwnd, &process) != 0 && process == ::GetCurrentProcessId();
}

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<DWORD*>(count);
    return TRUE;
}

// A window of this process with all its descendants.
BOOL CALLBACK CountOwnTree(HWND hwnd, LPARAM count) {
    if (IsOwnWindow(hwnd)) {
        CountWindow(hwnd, count);
        ::EnumChildWindows(hwnd, &CountWindow, count);
    }
    return TRUE;
}

// Top-level windows (hidden ones too), message-only windows, and the
// descendants of both.
DWORD CountOwnWindows() {
    DWORD count = 0;
    const LPARAM counter = reinterpret_cast<LPARAM>(&count);
    ::EnumWindows(&CountOwnTree, counter);
    for (HWND hwnd = ::FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); hwnd != nullptr;
         hwnd = ::FindWindowExW(HWND_MESSAGE, hwnd, nullptr, nullptr)) {
        CountOwnTree(hwnd, counter);
    }
    return count;
}

bool IsIconOrCursor(HICON icon) {
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) return false;
    // GetIconInfo hands out copies of the icon's bitmaps.
    if (info.hbmMask != nullptr) ::DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
    return true;
}

// Windows are enumerated; the other USER objects are asked for by handle,
// which stays inside the process (windows would cost a round trip to the
// server for every free handle).
DWORD ProbeUserObjects() {
    DWORD count = CountOwnWindows();
    for (UINT value = kFirstUserHandle; value <= kLastUserHandle; value += 2) {
        const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(value));
        if (::IsMenu(static_cast<HMENU>(handle)) || IsIconOrCursor(static_cast<HICON>(handle)) ||
            ::CopyAcceleratorTableW(static_cast<HACCEL>(handle), nullptr, 0) > 0) {
            ++count;
        }
    }
    return count;
}

uint64_t HeapBytesInUse() {
    std::vector<HANDLE> heaps(64);
    for (;;) {
        const DWORD count = ::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
        if (count <= heaps.size()) {
            heaps.resize(count);
            break;
        }
        heaps.resize(count + 16);
    }
    uint64_t total = 0;
    for (HANDLE heap : heaps) {
        if (!::HeapLock(heap)) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (::HeapWalk(heap, &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) total += entry.cbData;
        }
        ::HeapUnlock(heap);
    }
    return total;
}

}  // namespace

ObjectCounts CountObjects() {
    ObjectCounts counts;
    counts.gdi = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    counts.user = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
    // A process with a window always holds some of both, so 0 means "not counted".
    if (counts.gdi == 0 || counts.user == 0) {
        counts.probed = true;
        // GDI first: the USER probe makes and deletes copies of icon bitmaps.
        counts.gdi = ProbeGdiObjects();
        counts.user = ProbeUserObjects();
    }
    return counts;
}

DWORD CountKernelHandles() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) return count;
    // Wine answers 0 here. Its handles are multiples of four from 4 up; one
    // whose flags can be read is open.
    for (UINT_PTR value = 4; value <= kLastKernelHandle; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

Memory MeasureMemory() {
    Memory memory;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                               sizeof counters)) {
        const bool extended = counters.cb >= sizeof counters && counters.PrivateUsage != 0;
        memory.privateBytes = extended ? counters.PrivateUsage : counters.PagefileUsage;
        memory.workingSet = counters.WorkingSetSize;
    }
    memory.heapInUse = HeapBytesInUse();
    return memory;
}

Snapshot Take() {
    Snapshot snapshot;
    snapshot.objects = CountObjects();
    snapshot.kernelHandles = CountKernelHandles();
    snapshot.memory = MeasureMemory();
    return snapshot;
}

std::string Describe(const Snapshot& snapshot) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "GDI %lu, USER %lu%s, handles %lu, private %.2f MiB, working set %.2f MiB, heap in use %.1f KiB",
                  static_cast<unsigned long>(snapshot.objects.gdi), static_cast<unsigned long>(snapshot.objects.user),
                  snapshot.objects.probed ? " (probed)" : "", static_cast<unsigned long>(snapshot.kernelHandles),
                  snapshot.memory.privateBytes / 1048576.0,
                  snapshot.memory.workingSet / 1048576.0, snapshot.memory.heapInUse / 1024.0);
    return text;
}

}  // namespace usage
