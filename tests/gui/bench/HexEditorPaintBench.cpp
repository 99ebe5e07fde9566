// Paint cost of the hex view for a 1 KiB and a 1 GiB buffer: painting formats
// and draws only the rows on screen, so both must cost the same.
//
//   cmake --build build/win64 --target bench     (Xvfb and Wine, as the GUI tests)
//
// Each case scrolls to an offset, selects everything from there to the end of
// the buffer (so the selection is as large as the buffer allows) and paints the
// view through WM_PRINTCLIENT, the WM_PAINT path without the screen. Rounds
// alternate between the cases; it prints the median and the spread of a paint.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "framework/Wnd.h"
#include "hexedit/WndHexEditor.h"

namespace {

constexpr int kPaintsPerRound = 100;
constexpr int kRounds = 15;

class BenchParent : public CWnd {};

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Case {
    const char* name;
    const unsigned char* data;
    uint64_t size;
    uint64_t topOffset;  // scrolled here before painting
    std::vector<double> microseconds;
};

// Microseconds per paint over one round.
double PaintRound(MCWndHexEditor& view, HDC target) {
    LARGE_INTEGER start, end;
    ::QueryPerformanceCounter(&start);
    for (int i = 0; i < kPaintsPerRound; ++i) {
        ::SendMessageW(view.m_hWnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(target), PRF_CLIENT);
    }
    ::GdiFlush();
    ::QueryPerformanceCounter(&end);
    return Seconds(start, end) * 1e6 / kPaintsPerRound;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &CWnd::WindowProcedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvelHexBenchParent";
    ::RegisterClassW(&wc);

    BenchParent parent;
    if (!parent.CreateEx(0, wc.lpszClassName, L"hex view paint benchmark", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                         RECT{0, 0, 900, 900}, nullptr, 0)) {
        std::printf("cannot create the parent window\n");
        return 1;
    }
    MCWndHexEditor view;
    if (!view.Create(&parent)) {
        std::printf("cannot create the hex view\n");
        return 1;
    }
    view.MoveWindow(0, 0, 700, 800);

    // 1 KiB on the heap; 1 GiB of committed but untouched pages, which read
    // as zeros and cost memory only where a paint reads them.
    std::vector<unsigned char> small(1024);
    for (size_t i = 0; i < small.size(); ++i) small[i] = static_cast<unsigned char>(i * 7);
    const uint64_t bigSize = 1ull << 30;
    auto* big = static_cast<unsigned char*>(
        ::VirtualAlloc(nullptr, static_cast<SIZE_T>(bigSize), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (big == nullptr) {
        std::printf("cannot reserve 1 GiB\n");
        return 1;
    }
    std::memcpy(big, small.data(), small.size());

    std::vector<Case> cases = {
        {"1 KiB, top", small.data(), small.size(), 0, {}},
        {"1 GiB, top", big, bigSize, 0, {}},
        {"1 GiB, middle", big, bigSize, bigSize / 2 + 5, {}},
        {"1 GiB, 3/4", big, bigSize, bigSize / 4 * 3 + 7, {}},
    };

    RECT client;
    view.GetClientRect(&client);
    HDC screen = ::GetDC(view.m_hWnd);
    HDC target = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = ::SelectObject(target, bitmap);

    const CHexEditorModel& model = view.GetModel();
    for (int round = 0; round < kRounds; ++round) {
        for (Case& c : cases) {
            view.SetData(c.data, c.size);
            view.SetSelection(c.topOffset, c.size - 1);
            PaintRound(view, target);  // warm-up: page faults of the first touch
            c.microseconds.push_back(PaintRound(view, target));
        }
    }

    std::printf("hex view paint, %ld x %ld client pixels, %llu rows on screen, median of %d rounds of %d paints\n",
                client.right, client.bottom, static_cast<unsigned long long>(model.VisibleRowCount()), kRounds,
                kPaintsPerRound);
    const double reference = Median(cases[0].microseconds);
    for (const Case& c : cases) {
        const double median = Median(c.microseconds);
        const auto [low, high] = std::minmax_element(c.microseconds.begin(), c.microseconds.end());
        std::printf("  %-14s median %7.1f us per paint, fastest round %7.1f, slowest %7.1f;"
                    " median %.2f x the 1 KiB paint\n",
                    c.name, median, *low, *high, median / reference);
    }

    view.SetData(nullptr, 0);
    ::SelectObject(target, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(target);
    ::ReleaseDC(view.m_hWnd, screen);
    ::VirtualFree(big, 0, MEM_RELEASE);
    return 0;
}
