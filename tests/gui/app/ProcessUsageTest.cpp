// The counts the leak tests rely on: they see objects and memory come and go.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "tests/gui/app/ProcessUsage.h"

namespace {

// A top-level window for as long as it lives. A thread's top-level windows
// share an IME window that exists while any of them does.
struct Keeper {
    HWND window = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ~Keeper() { ::DestroyWindow(window); }
};

// Two GDI objects, freed when it goes.
struct SomeGdiObjects {
    HBRUSH brush = ::CreateSolidBrush(RGB(1, 2, 3));
    HDC dc = ::CreateCompatibleDC(nullptr);
    ~SomeGdiObjects() {
        ::DeleteDC(dc);
        ::DeleteObject(brush);
    }
};

// Four USER objects of four kinds, freed when it goes.
struct SomeUserObjects {
    HWND window = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HMENU menu = ::CreatePopupMenu();
    HICON icon = ::CopyIcon(::LoadIconW(nullptr, IDI_HAND));
    ACCEL key{FVIRTKEY, 'A', 1};
    HACCEL accelerators = ::CreateAcceleratorTableW(&key, 1);
    ~SomeUserObjects() {
        ::DestroyAcceleratorTable(accelerators);
        ::DestroyIcon(icon);
        ::DestroyMenu(menu);
        ::DestroyWindow(window);
    }
};

}  // namespace

TEST(ProcessUsage, CountsFollowObjectsAndMemoryMadeAndFreed) {
    const Keeper keeper;
    ASSERT_NE(keeper.window, nullptr);
    {
        // What comes once with the first objects of a kind is made before the counting.
        SomeGdiObjects gdi;
        SomeUserObjects user;
    }
    const usage::Snapshot before = usage::Take();
    std::printf("counting objects by %s\n",
                before.objects.probed ? "probing the handle tables (GetGuiResources answers 0)" : "GetGuiResources");
    ASSERT_GT(before.objects.gdi, 0u);
    ASSERT_GT(before.kernelHandles, 0u);
    {
        SomeGdiObjects gdi;
        ASSERT_NE(gdi.dc, nullptr);
        EXPECT_EQ(usage::CountObjects().gdi, before.objects.gdi + 2);
    }
    EXPECT_EQ(usage::CountObjects().gdi, before.objects.gdi);
    {
        SomeUserObjects user;
        ASSERT_NE(user.accelerators, nullptr);
        EXPECT_EQ(usage::CountObjects().user, before.objects.user + 4);
    }
    const usage::ObjectCounts after = usage::CountObjects();
    EXPECT_EQ(after.user, before.objects.user);
    EXPECT_EQ(after.gdi, before.objects.gdi);

    // One file open.
    wchar_t self[MAX_PATH] = L"";
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    HANDLE file = ::CreateFileW(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(usage::CountKernelHandles(), before.kernelHandles + 1);
    ::CloseHandle(file);
    EXPECT_EQ(usage::CountKernelHandles(), before.kernelHandles);

    // Four MiB held, as a file's bytes are while it is open.
    constexpr size_t kBlock = 4 << 20;
    auto block = std::make_unique<std::vector<unsigned char>>(kBlock, 0x5A);
    const usage::Memory holding = usage::MeasureMemory();
    EXPECT_GE(usage::Growth(before.memory.heapInUse, holding.heapInUse), static_cast<int64_t>(kBlock));
    EXPECT_GE(usage::Growth(before.memory.privateBytes, holding.privateBytes), static_cast<int64_t>(kBlock));
    EXPECT_GE(usage::Growth(before.memory.workingSet, holding.workingSet), static_cast<int64_t>(kBlock));
    block.reset();
    EXPECT_LT(usage::Growth(before.memory.heapInUse, usage::MeasureMemory().heapInUse), 64 * 1024);
}

