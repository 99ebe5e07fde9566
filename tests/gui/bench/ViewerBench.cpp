// Time the viewer takes on large files, in the real dialog (run under Wine on
// the Xvfb display, as the GUI tests):
//
//   viewer_bench ELEMENTS_FILE [FRAMES_FILE] [--rounds N]
//
// For the file of many elements, each round opens it through the combo and
// times, each until the windows concerned have painted:
//   - the open, from the command until the tree is shown (parse, the copy of
//     the bytes, the tree's fill);
//   - opening the top-level node with the most children (its children are
//     put in the tree then);
//   - a click on a byte until the property list is filled: a byte in the
//     middle of that node's range, and one of the last top-level element
//     (the longest walk through the node table);
//   - painting the hex view with the file shown.
// The frames file, when given, is opened once first, in a fresh process, to
// read the process's peak memory against the file's size and what the
// process held before the open (the viewer holds one copy of the bytes; the
// parse leaves the frames in them). Prints medians and each target, MET or NOT MET; exit status 0
// when everything was measured.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/OrvelDICOMHexariumApp.h"
#include "app/OrvelDICOMHexariumDlg.h"
#include "dicom/model/ElementRange.h"
#include "tests/gui/app/Harness.h"

namespace {

// Settings under this program's own name, so the viewer's recent files stay untouched.
class BenchApplication : public COrvelDICOMHexariumApp {
public:
    BenchApplication() {
        INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
        ::InitCommonControlsEx(&controls);
        SetRegistryKey(kRegistryKey);
    }
};

BenchApplication g_application;

double Now() {
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::wstring Widen(const char* text) {
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(std::max(length, 1)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], length);
    wide.resize(wcslen(wide.c_str()));
    // A Unix path is seen from Wine on drive Z:.
    if (!wide.empty() && wide[0] == L'/') wide = L"Z:" + wide;
    return wide;
}

// Opens path through the combo, answering any message box; false on a failed open.
bool Open(COrvelDICOMHexariumDlg& dialog, const std::wstring& path) {
    dialog.GetFileCombo().SetCurSel(-1);
    dialog.GetFileCombo().SetWindowText(path);
    const auto seen = harness::WhileAnswering([&] { dialog.OpenFileFromCombo(); });
    return seen.empty() && dialog.GetDicomFile() != nullptr;
}

void PaintNow(CDialog& dialog) {
    ::RedrawWindow(dialog.m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// Scrolls offset into view and clicks its hex cell.
void Click(MCWndHexEditor& view, uint64_t offset) {
    const CHexEditorModel& model = view.GetModel();
    const HexSpan cell = model.Cell(HexColumn::Hex, static_cast<int>(offset % 16));
    const int x = (cell.left + cell.right) / 2;
    const int y = static_cast<int>(offset / 16 - model.FirstVisibleRow()) * model.Geometry().lineHeight +
                  model.Geometry().lineHeight / 2;
    view.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    view.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void ScrollTo(MCWndHexEditor& view, uint64_t offset) {
    const CHexEditorModel& model = view.GetModel();
    const uint64_t row = offset / 16;
    if (row < model.FirstVisibleRow() || row >= model.FirstVisibleRow() + model.VisibleRowCount()) {
        view.SetSelection(offset, offset);
    }
}

struct Results {
    std::vector<double> open, fill, expand, clickInside, clickLast, paint;
    size_t nodes = 0, topLevel = 0, widestChildren = 0;
    bool failed = false;
    double peakBytes = 0, peakResident = 0, peakPrivate = 0, framesFileBytes = 0, baseBytes = 0;
    std::wstring failure;
};

void MeasureElements(COrvelDICOMHexariumDlg& dialog, const std::wstring& path, int rounds, Results& r) {
    CTreeCtrl& tree = dialog.GetTagTree();
    MCWndHexEditor& view = dialog.GetHexEditor();
    for (int round = 0; round < rounds; ++round) {
        double start = Now();
        if (!Open(dialog, path)) {
            r.failed = true;
            r.failure = L"the elements file did not open";
            return;
        }
        PaintNow(dialog);
        r.open.push_back(Now() - start);

        const std::vector<CTagNode>& table = dialog.GetNodeTable();
        r.nodes = table.size();
        // The top-level node with the most children.
        size_t widest = 0, widestCount = 0, lastTop = 0;
        r.topLevel = 0;
        for (size_t i = 0; i < table.size(); i = table[i].subtreeEnd) {
            size_t count = 0;
            for (size_t child = i + 1; child < table[i].subtreeEnd; child = table[child].subtreeEnd) ++count;
            if (count > widestCount) {
                widest = i;
                widestCount = count;
            }
            lastTop = i;
            ++r.topLevel;
        }
        r.widestChildren = widestCount;

        start = Now();
        tree.Expand(table[widest].node, TVE_EXPAND);
        ::UpdateWindow(tree.m_hWnd);
        r.expand.push_back(Now() - start);
        tree.Expand(table[widest].node, TVE_COLLAPSE);

        // Clicks: a byte in the middle of the wide node (its middle child), then one of the last top-level element.
        size_t middle = widest + 1;
        for (size_t n = 0; n < widestCount / 2; ++n) middle = table[middle].subtreeEnd;
        const uint64_t inside = GetElementByteRange(*table[middle].element).first;
        const uint64_t last = GetElementByteRange(*table[lastTop].element).last;
        ScrollTo(view, inside);
        PaintNow(dialog);
        start = Now();
        Click(view, inside);
        PaintNow(dialog);
        r.clickInside.push_back(Now() - start);
        if (tree.GetSelectedItem() != table[widest].node) {
            r.failed = true;
            r.failure = L"the click inside the wide node did not select it";
        }
        ScrollTo(view, last);
        PaintNow(dialog);
        start = Now();
        Click(view, last);
        PaintNow(dialog);
        r.clickLast.push_back(Now() - start);
        if (tree.GetSelectedItem() != table[lastTop].node) {
            r.failed = true;
            r.failure = L"the click on the last element did not select it";
        }

        // Painting the hex view, 20 paints into a bitmap.
        RECT client;
        view.GetClientRect(&client);
        HDC screen = ::GetDC(view.m_hWnd);
        HDC target = ::CreateCompatibleDC(screen);
        HBITMAP bitmap = ::CreateCompatibleBitmap(screen, client.right, client.bottom);
        HGDIOBJ old = ::SelectObject(target, bitmap);
        start = Now();
        for (int i = 0; i < 20; ++i) {
            view.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(target), PRF_CLIENT);
        }
        ::GdiFlush();
        r.paint.push_back((Now() - start) / 20);
        ::SelectObject(target, old);
        ::DeleteObject(bitmap);
        ::DeleteDC(target);
        ::ReleaseDC(view.m_hWnd, screen);

        // The tree alone, filled again from the parse already held.
        start = Now();
        dialog.FillTagTree();
        ::UpdateWindow(tree.m_hWnd);
        r.fill.push_back(Now() - start);
    }
}

double MemoryInUse() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return static_cast<double>(std::max(counters.WorkingSetSize, counters.PagefileUsage));
}

void MeasureFrames(COrvelDICOMHexariumDlg& dialog, const std::wstring& path, Results& r) {
    r.baseBytes = MemoryInUse();
    if (!Open(dialog, path)) {
        r.failed = true;
        r.failure = L"the frames file did not open";
        return;
    }
    PaintNow(dialog);
    r.framesFileBytes = dialog.GetFileLength();
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) {
        r.peakResident = static_cast<double>(counters.PeakWorkingSetSize);
        r.peakPrivate = static_cast<double>(counters.PeakPagefileUsage);
        r.peakBytes = std::max(r.peakResident, r.peakPrivate);
    }
}

void Line(const char* what, const std::vector<double>& seconds, double limit) {
    const double median = Median(seconds);
    std::printf("  %-44s median %9.1f ms", what, median * 1e3);
    if (!seconds.empty()) {
        const auto [low, high] = std::minmax_element(seconds.begin(), seconds.end());
        std::printf("  (%.1f .. %.1f)", *low * 1e3, *high * 1e3);
    }
    if (limit > 0) std::printf("  target < %.0f ms: %s", limit * 1e3, median < limit ? "MET" : "NOT MET");
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::wstring elements, frames;
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (elements.empty()) {
            elements = Widen(argv[i]);
        } else {
            frames = Widen(argv[i]);
        }
    }
    if (elements.empty()) {
        std::fprintf(stderr, "usage: viewer_bench ELEMENTS_FILE [FRAMES_FILE] [--rounds N]\n");
        return 2;
    }

    Results r;
    // The frames file first, while the process holds nothing else.
    if (!frames.empty()) {
        COrvelDICOMHexariumDlg dialog;
        harness::RunModal(dialog, {[&] { MeasureFrames(dialog, frames, r); }});
    }
    if (!r.failed) {
        COrvelDICOMHexariumDlg dialog;
        harness::RunModal(dialog, {[&] {
            MeasureElements(dialog, elements, rounds, r);
            Open(dialog, L"");
        }});
    }
    if (r.failed) {
        std::fprintf(stderr, "viewer_bench: %ls\n", r.failure.c_str());
        return 1;
    }

    std::printf("viewer (Wine), %zu nodes, %zu at the top level, widest node %zu children; median of %d rounds\n",
                r.nodes, r.topLevel, r.widestChildren, rounds);
    Line("open until the tree is shown", r.open, 1.0);
    Line("fill of the tree alone (parse held)", r.fill, 0);
    Line("open the node with the most children", r.expand, 1.0);
    Line("click inside that node until the list is filled", r.clickInside, 0.050);
    Line("click on the last element until the list is filled", r.clickLast, 0.050);
    Line("paint of the hex view", r.paint, 0);
    if (r.framesFileBytes > 0) {
        // The viewer holds one copy of the bytes and a parse that leaves the frames in them: the
        // peak may exceed what the process held before the open by a tenth of the file at most.
        const double ratio = r.peakBytes / r.framesFileBytes;
        const double added = (r.peakBytes - r.baseBytes) / r.framesFileBytes;
        std::printf("  %-44s %9.1f MiB for a %.1f MiB file: %.2f x\n", "peak memory with the frames file open",
                    r.peakBytes / 1048576.0, r.framesFileBytes / 1048576.0, ratio);
        std::printf("  %-44s %9.1f MiB before the open; the open added %.2f x the file  target <= 1.10 x: %s\n", "",
                    r.baseBytes / 1048576.0, added, added <= 1.10 ? "MET" : "NOT MET");
        std::printf("  %-44s peak resident %.1f MiB (%.2f x), peak private %.1f MiB (%.2f x)\n", "",
                    r.peakResident / 1048576.0, r.peakResident / r.framesFileBytes, r.peakPrivate / 1048576.0,
                    r.peakPrivate / r.framesFileBytes);
    }
    return 0;
}
