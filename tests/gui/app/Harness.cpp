#include "tests/gui/app/Harness.h"

#include <algorithm>

namespace harness {
namespace {

struct ModalRun {
    CDialog* dialog = nullptr;
    std::vector<Step> steps;
    size_t next = 0;
    bool finished = false;
};
thread_local ModalRun* t_run = nullptr;

void CALLBACK StepTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    ModalRun* run = t_run;
    if (run == nullptr || run->finished || run->dialog->m_hWnd == nullptr) {
        return;
    }
    if (run->next < run->steps.size()) {
        Step step = run->steps[run->next++];
        step();
        if (!run->finished && run->dialog->m_hWnd != nullptr) {
            ::SetTimer(nullptr, 0, 10, &StepTimer);
        }
        return;
    }
    run->finished = true;
    run->dialog->EndDialog(IDCANCEL);
}

struct Answering {
    std::vector<HWND> before;
    std::vector<HWND> handled;
    std::vector<SeenWindow> seen;
    std::function<void(HWND)> answer;
};
thread_local Answering* t_answering = nullptr;

std::wstring TextOf(HWND hwnd) {
    wchar_t text[2048] = L"";
    ::GetWindowTextW(hwnd, text, 2048);
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = L"";
    ::GetClassNameW(hwnd, name, 256);
    return name;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM lParam) {
    SeenWindow* seen = reinterpret_cast<SeenWindow*>(lParam);
    const int id = ::GetDlgCtrlID(child);
    seen->itemTexts[id] = TextOf(child);
    if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0) {
        const LONG style = ::GetWindowLongW(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) {
            seen->icon = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
        } else if (!TextOf(child).empty()) {
            seen->texts.push_back(TextOf(child));
        }
    }
    return TRUE;
}

void CALLBACK AnswerTimer(HWND, UINT, UINT_PTR, DWORD) {
    Answering* answering = t_answering;
    if (answering == nullptr) {
        return;
    }
    for (HWND hwnd : ThreadWindows()) {
        const auto known = [hwnd](const std::vector<HWND>& list) {
            return std::find(list.begin(), list.end(), hwnd) != list.end();
        };
        if (known(answering->before) || known(answering->handled) || !::IsWindowEnabled(hwnd)) {
            continue;
        }
        answering->handled.push_back(hwnd);
        SeenWindow seen;
        seen.className = ClassOf(hwnd);
        seen.caption = TextOf(hwnd);
        ::EnumChildWindows(hwnd, &CollectChild, reinterpret_cast<LPARAM>(&seen));
        answering->seen.push_back(seen);
        if (answering->answer) {
            answering->answer(hwnd);
        } else {
            ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
}

BOOL CALLBACK CollectThreadWindow(HWND hwnd, LPARAM lParam) {
    if (::IsWindowVisible(hwnd)) {
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
    }
    return TRUE;
}

}  // namespace

INT_PTR RunModal(CDialog& dialog, std::vector<Step> steps) {
    ModalRun run;
    run.dialog = &dialog;
    run.steps = std::move(steps);
    ModalRun* outer = t_run;
    t_run = &run;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, &StepTimer);
    const INT_PTR result = dialog.DoModal();
    run.finished = true;
    ::KillTimer(nullptr, timer);
    t_run = outer;
    return result;
}

void Pump(HWND dialog, DWORD ms) {
    const DWORD start = ::GetTickCount();
    do {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (::CallMsgFilterW(&msg, MSGF_DIALOGBOX)) {
                continue;
            }
            if (dialog != nullptr && ::IsWindow(dialog) && ::IsDialogMessageW(dialog, &msg)) {
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    } while (::GetTickCount() - start < ms);
}

std::vector<HWND> ThreadWindows() {
    std::vector<HWND> windows;
    ::EnumThreadWindows(::GetCurrentThreadId(), &CollectThreadWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<SeenWindow> WhileAnswering(const std::function<void()>& action, const std::function<void(HWND)>& answer) {
    Answering answering;
    answering.before = ThreadWindows();
    answering.answer = answer;
    Answering* outer = t_answering;
    t_answering = &answering;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 30, &AnswerTimer);
    action();
    ::KillTimer(nullptr, timer);
    t_answering = outer;
    return answering.seen;
}

Canvas::Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = ::CreateCompatibleDC(nullptr);
    bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = ::SelectObject(dc_, bitmap_);
    RECT all{0, 0, width, height};
    ::FillRect(dc_, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
}

Canvas::~Canvas() {
    ::SelectObject(dc_, old_);
    ::DeleteObject(bitmap_);
    ::DeleteDC(dc_);
}

COLORREF Canvas::At(int x, int y) const {
    ::GdiFlush();
    const uint32_t p = bits_[static_cast<size_t>(y) * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

std::map<COLORREF, int> Canvas::Colours(const RECT& r) const {
    std::map<COLORREF, int> count;
    for (int y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, height_); ++y)
        for (int x = std::max<LONG>(r.left, 0); x < std::min<LONG>(r.right, width_); ++x) ++count[At(x, y)];
    return count;
}

bool Canvas::SaveBmp(const std::wstring& path) const {
    const int rowBytes = (width_ * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width_;
    info.biHeight = height_;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(rowBytes * height_);
    std::vector<BYTE> out(static_cast<size_t>(rowBytes) * height_);
    for (int y = 0; y < height_; ++y) {
        BYTE* row = &out[static_cast<size_t>(height_ - 1 - y) * rowBytes];
        for (int x = 0; x < width_; ++x) {
            const COLORREF c = At(x, y);
            row[3 * x] = GetBValue(c);
            row[3 * x + 1] = GetGValue(c);
            row[3 * x + 2] = GetRValue(c);
        }
    }
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(h, &file, sizeof file, &written, nullptr) &&
                    ::WriteFile(h, &info, sizeof info, &written, nullptr) &&
                    ::WriteFile(h, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok;
}

bool CaptureWindow(HWND hwnd, Canvas& canvas) {
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    HDC screen = ::GetDC(nullptr);
    const BOOL copied = ::BitBlt(canvas.Dc(), 0, 0, std::min<LONG>(rect.right - rect.left, canvas.Width()),
                                 std::min<LONG>(rect.bottom - rect.top, canvas.Height()), screen, rect.left,
                                 rect.top, SRCCOPY);
    ::ReleaseDC(nullptr, screen);
    return copied != FALSE;
}

}  // namespace harness
